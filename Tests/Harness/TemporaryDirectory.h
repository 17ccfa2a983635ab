#pragma once

#include <string>
#include <string_view>

namespace zov::test {

// A private directory, removed with everything in it when this object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();

    const std::string& path() const { return root; }
    std::string operator/(std::string_view name) const { return root + "/" + std::string(name); }

private:
    std::string root;
};

} // namespace zov::test
