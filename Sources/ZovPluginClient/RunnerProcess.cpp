#include "RunnerProcess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace zov::client {

namespace {

constexpr int pipeSize = 1 << 20;

[[noreturn]] void fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// A pipe whose ends are closed on exec: only the dup2'ed copies reach the
// child, so runners started from several threads never hold each other's pipes.
std::array<int, 2> makePipe() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0)
        fail(errno, "pipe2");
    return ends;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

RunnerProcess RunnerProcess::start(const std::string& path,
                                   const std::vector<std::string>& arguments) {
    std::array<int, 2> input = makePipe();
    std::array<int, 2> output{-1, -1};
    std::array<int, 2> errors{-1, -1};
    auto closeAll = [&] {
        for (auto* ends : {&input, &output, &errors})
            for (int& fd : *ends)
                closeFd(fd);
    };
    try {
        output = makePipe();
        errors = makePipe();
    } catch (...) {
        closeAll();
        throw;
    }
    // Large requests and results pass in fewer, larger steps. Only a wish: a
    // system with a lower limit keeps the default size.
    for (const int fd : {input[1], output[0]})
        ::fcntl(fd, F_SETPIPE_SZ, pipeSize);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    // The runner starts with default signal handling and nothing blocked,
    // whatever the host has set for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int error =
        ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeFd(input[0]);
    closeFd(output[1]);
    closeFd(errors[1]);
    if (error != 0) {
        closeAll();
        fail(error, "Starting the plugin runner failed");
    }
    return RunnerProcess(pid, input[1], output[0], errors[0]);
}

RunnerProcess::RunnerProcess(pid_t pid, int input, int output, int errors)
    : pid_(pid),
      // glibc's pidfd_open wrapper lacks C++ linkage in Debian 12's headers.
      processFd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))), input_(input),
      output_(output), errors_(errors) {}

RunnerProcess::RunnerProcess(RunnerProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), processFd_(std::exchange(other.processFd_, -1)),
      input_(std::exchange(other.input_, -1)), output_(std::exchange(other.output_, -1)),
      errors_(std::exchange(other.errors_, -1)), status_(std::exchange(other.status_, -1)) {}

RunnerProcess& RunnerProcess::operator=(RunnerProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        processFd_ = std::exchange(other.processFd_, -1);
        input_ = std::exchange(other.input_, -1);
        output_ = std::exchange(other.output_, -1);
        errors_ = std::exchange(other.errors_, -1);
        status_ = std::exchange(other.status_, -1);
    }
    return *this;
}

RunnerProcess::~RunnerProcess() {
    release();
}

void RunnerProcess::release() {
    closeInput();
    closeOutput();
    closeErrors();
    if (pid_ > 0 && status_ < 0) {
        try {
            kill();
        } catch (const std::system_error&) {
            // Already reaped by someone else: nothing is left to end.
        }
    }
    closeFd(processFd_);
    pid_ = -1;
}

void RunnerProcess::closeInput() {
    closeFd(input_);
}
void RunnerProcess::closeOutput() {
    closeFd(output_);
}
void RunnerProcess::closeErrors() {
    closeFd(errors_);
}

bool RunnerProcess::reap(int options) {
    if (status_ >= 0)
        return true;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result < 0 && !(options & WNOHANG))
        fail(errno, "waitpid");
    if (result == pid_)
        reaped(status);
    return status_ >= 0;
}

bool RunnerProcess::hasExited() {
    return reap(WNOHANG);
}

int RunnerProcess::wait() {
    reap(0);
    return status_;
}

void RunnerProcess::reaped(int status) {
    status_ = status;
    closeFd(processFd_);
}

int RunnerProcess::kill() {
    if (status_ < 0)
        ::kill(pid_, SIGKILL);
    return wait();
}

std::string runnerBesideExecutable() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "ZovPluginHost";
    return (self.parent_path() / "ZovPluginHost").string();
}

} // namespace zov::client
