#pragma once

#include <string_view>

namespace zov {

// Writes every byte to `fd`, across short writes and interruptions by signals. Returns 0 once all
// is written, or the errno of the write that failed (EPIPE for a reader that has gone, EAGAIN for
// a full non-blocking descriptor), with an unknown part of the bytes written.
int writeAll(int fd, std::string_view bytes);

} // namespace zov
