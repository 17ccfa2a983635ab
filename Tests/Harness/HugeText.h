#pragma once

// Texts of gigabytes for tests of size limits, mapped without the memory: every 2 MiB of the
// range shows the same pages of one small file in memory.

#include <cstddef>
#include <string_view>

namespace zov::test {

class HugeText {
public:
    // `length` bytes of `fill` (a multiple of 2 MiB), followed by the byte `after`. Check
    // mapped() before use: the system may refuse the mappings.
    HugeText(size_t length, char fill, char after);
    ~HugeText();
    HugeText(const HugeText&) = delete;
    HugeText& operator=(const HugeText&) = delete;

    bool mapped() const { return bytes_ != nullptr; }
    // The text, without the byte after it.
    std::string_view text() const { return {bytes_, length_}; }
    const char* data() const { return bytes_; }

private:
    size_t length_;
    char* bytes_ = nullptr;
};

} // namespace zov::test
