#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace zov::client {

namespace {

// The wait status that waitpid would have given for what waitid tells.
int waitStatusOf(const siginfo_t& info) {
    switch (info.si_code) {
    case CLD_EXITED:
        return (info.si_status & 0xff) << 8;
    case CLD_KILLED:
        return info.si_status & 0x7f;
    case CLD_DUMPED:
        return (info.si_status & 0x7f) | 0x80;
    default:
        return ChildProcess::unknownStatus;
    }
}

} // namespace

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
    siginfo_t info{};
    int result;
    do {
        result = ::waitid(P_PIDFD, static_cast<id_t>(processFd_.get()), &info, WEXITED | options);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        // Reaped already, by the kernel for a host that ignores SIGCHLD or by another wait of the
        // host's: the process has ended, with a status nobody can tell any more. Taking that for
        // "still running" would wait, or poll its readable descriptor, for ever.
        if (errno != ECHILD)
            throw std::system_error(errno, std::generic_category(), "waitid");
        status_ = unknownStatus;
        processFd_.reset();
        return true;
    }
    if (info.si_pid == 0) // WNOHANG, and still running
        return false;
    status_ = waitStatusOf(info);
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
        // The descriptor no longer names a child of ours: nothing is left to end.
    }
}

} // namespace zov::client
