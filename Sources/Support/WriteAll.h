#pragma once

#include <string_view>

namespace zov {

// What writeAll does when a non-blocking descriptor takes no more bytes for now.
enum class WhenFull {
    fail, // return EAGAIN, for a caller that waits in a poll loop of its own
    wait, // wait until the descriptor takes more, then go on
};

// Writes every byte to `fd`, across short writes and interruptions by signals. Returns 0 once all
// is written, or the errno of the write that failed (EPIPE for a reader that has gone, EAGAIN for
// a full non-blocking descriptor unless `whenFull` says to wait), with an unknown part of the
// bytes written.
int writeAll(int fd, std::string_view bytes, WhenFull whenFull = WhenFull::fail);

} // namespace zov
