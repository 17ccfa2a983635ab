#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace zov::client {

ChildProcess::ChildProcess(pid_t pid)
    // glibc's pidfd_open wrapper lacks C++ linkage in Debian 12's headers.
    : pid_(pid), processFd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {
    if (!processFd_) {
        const int error = errno;
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        throw std::system_error(error, std::generic_category(), "pidfd_open");
    }
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        end();
        pid_ = other.pid_;
        processFd_ = std::move(other.processFd_);
        status_ = other.status_;
    }
    return *this;
}

bool ChildProcess::reap(int options) {
    if (!processFd_)
        return true;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result < 0 && !(options & WNOHANG))
        throw std::system_error(errno, std::generic_category(), "waitpid");
    if (result != pid_)
        return false;
    status_ = status;
    processFd_.reset();
    return true;
}

bool ChildProcess::hasExited() {
    return reap(WNOHANG);
}

int ChildProcess::wait() {
    reap(0);
    return status_;
}

int ChildProcess::kill() {
    if (processFd_)
        ::syscall(SYS_pidfd_send_signal, processFd_.get(), SIGKILL, nullptr, 0);
    return wait();
}

void ChildProcess::end() noexcept {
    try {
        kill();
    } catch (const std::system_error&) {
        // Reaped by someone else already: nothing is left to end.
    }
}

} // namespace zov::client
