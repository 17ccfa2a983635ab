#include "ChildPipes.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace zov::test {

ChildPipes::ChildPipes(UniqueFd outputEnd, UniqueFd errorsEnd)
    : outputEnd_(std::move(outputEnd)), errorsEnd_(std::move(errorsEnd)) {}

bool ChildPipes::pump(std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (!outputEnd_ && !errorsEnd_)
        return false;
    UniqueFd* const ends[2] = {&outputEnd_, &errorsEnd_};
    std::string* const sinks[2] = {&output, &errors};
    pollfd fds[2] = {{outputEnd_.get(), POLLIN, 0}, {errorsEnd_.get(), POLLIN, 0}};
    int timeout = -1;
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            *deadline - std::chrono::steady_clock::now());
        timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
        throw std::runtime_error("poll failed");
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char chunk[1 << 16];
        const ssize_t count = ::read(fds[i].fd, chunk, sizeof chunk);
        if (count > 0)
            sinks[i]->append(chunk, static_cast<size_t>(count));
        else if (count == 0 || errno != EINTR)
            ends[i]->reset();
    }
    return outputEnd_ || errorsEnd_;
}

void ChildPipes::readToEnd() {
    while (pump()) {
    }
}

} // namespace zov::test
