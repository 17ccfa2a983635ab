#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace zov::test {

// Sets (or, with none, removes) an environment variable for one scope; the
// processes started meanwhile inherit it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ScopedEnvironment(const char* name, const char* value)
        : ScopedEnvironment(name, value ? std::optional<std::string>(value) : std::nullopt) {}
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(name_, value->c_str(), 1);
        else
            ::unsetenv(name_);
    }

    const char* name_;
    std::optional<std::string> old_;
};

} // namespace zov::test
