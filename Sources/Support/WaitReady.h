#pragma once

namespace zov {

// Waits, without a time limit, until `fd` is ready for `events` (POLLIN, POLLOUT) or has been
// hung up or has failed, so that the next read or write on it will not answer EAGAIN. Returns 0,
// or the errno of the wait that failed.
int waitUntilReady(int fd, short events);

} // namespace zov
