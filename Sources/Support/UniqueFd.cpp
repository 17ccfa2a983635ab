#include "UniqueFd.h"

#include <cerrno>
#include <system_error>
#include <unistd.h>

namespace zov {

void UniqueFd::reset(int fd) noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

Pipe makePipe(int flags) {
    int ends[2];
    if (::pipe2(ends, flags) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

} // namespace zov
