#include "WaitReady.h"

#include <cerrno>
#include <poll.h>

namespace zov {

int waitUntilReady(int fd, short events) {
    pollfd target{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&target, 1, -1);
        // An error or a hang-up counts as ready: the next read or write reports it.
        if (ready > 0)
            return 0;
        if (ready < 0 && errno != EINTR)
            return errno;
    }
}

} // namespace zov
