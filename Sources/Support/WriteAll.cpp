#include "WriteAll.h"

#include "WaitReady.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace zov {

int writeAll(int fd, std::string_view bytes, WhenFull whenFull) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && whenFull == WhenFull::wait) {
                if (const int error = waitUntilReady(fd, POLLOUT))
                    return error;
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return 0;
}

} // namespace zov
