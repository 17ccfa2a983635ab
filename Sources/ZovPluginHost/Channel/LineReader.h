#pragma once

#include "ByteBuffer.h"

#include <optional>
#include <string_view>

namespace zov {

// Reads lines from a file descriptor through one buffer, so that bytes which
// arrive early stay for the next line. Lines have no length limit. A
// non-blocking descriptor is waited for, as a blocking one would be.
class LineReader {
public:
    explicit LineReader(int fd);

    // The next line's bytes without their ending (LF, or CR LF), followed by
    // a NUL byte that is not part of the line; valid until the next call. A
    // last line without a line feed counts, and an empty line is a line. None
    // once the input has ended (or failed) before the line's first byte.
    std::optional<std::string_view> readLine();

    // Gives back the memory of a buffer grown for a long line, once every
    // byte it holds has been handed out.
    void shrink();

private:
    // Reads more bytes after the pending ones; false at the end of the input.
    bool fill();

    int fd_;
    ByteBuffer buffer_;
    size_t begin_ = 0; // the first byte not handed out yet
    bool ended_ = false;
};

} // namespace zov
