#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zov {

// Reads lines of UTF-8 text from a file descriptor through one buffer, so that
// bytes which arrive early stay for the next line. Lines have no length limit.
class LineReader {
public:
    explicit LineReader(int fd);

    // The next line without its ending (LF, or CR LF), with ill-formed UTF-8
    // replaced by U+FFFD. A last line without a line feed counts; an empty line
    // is the empty string. None once the input has ended (or failed) before
    // the line's first byte.
    std::optional<std::u16string> readLine();

private:
    // The bytes of the next line, or none at the end of the input.
    std::optional<std::string_view> nextLine();
    // Reads more bytes after the pending ones; false at the end of the input.
    bool fill();

    struct Free {
        void operator()(char* bytes) const;
    };

    int fd_;
    std::unique_ptr<char, Free> buffer_;
    size_t capacity_ = 0;
    size_t begin_ = 0; // first pending byte
    size_t end_ = 0;   // one past the last pending byte
    bool ended_ = false;
};

} // namespace zov
