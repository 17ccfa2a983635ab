#include "DockProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zov::docktile::test {

namespace {

std::vector<std::string>
environmentWith(const std::map<std::string, std::optional<std::string>>& changes) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            variables[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& string : strings) {
        result.push_back(string.data());
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

DockProcess::DockProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create pipes");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> argumentStrings = arguments;
    std::vector<std::string> environmentStrings = environmentWith(environment);
    const auto argv = pointers(argumentStrings);
    const auto envp = pointers(environmentStrings);
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    out = outPipe[0];
    err = errPipe[0];
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + arguments.front());
    }
}

DockProcess::~DockProcess() {
    if (!exitStatus) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (const int fd : {out, err}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool DockProcess::pump(std::chrono::steady_clock::time_point deadline) {
    int* const descriptors[2] = {&out, &err};
    std::string* const buffers[2] = {&output, &errors};
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (poll(fds, 2, static_cast<int>(std::max<long>(remaining.count(), 0))) < 0 &&
        errno != EINTR) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
        if (count > 0) {
            buffers[i]->append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            close(fds[i].fd);
            *descriptors[i] = -1;
        }
    }
    return out >= 0 || err >= 0;
}

std::optional<std::string> DockProcess::nextLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (!pump(deadline)) {
            break;
        }
    }
    const auto end = output.find('\n');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::string line = output.substr(0, end);
    output.erase(0, end + 1);
    return line;
}

int DockProcess::reap(std::chrono::steady_clock::time_point deadline) {
    while (pump(deadline) && std::chrono::steady_clock::now() < deadline) {
    }
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return *exitStatus;
        }
        usleep(10000);
    }
    return -1;
}

int DockProcess::stop(int signal) {
    if (exitStatus) {
        return *exitStatus;
    }
    kill(pid, signal);
    return reap(std::chrono::steady_clock::now() + std::chrono::seconds(30));
}

int DockProcess::wait() {
    return exitStatus ? *exitStatus
                      : reap(std::chrono::steady_clock::now() + std::chrono::seconds(30));
}

} // namespace zov::docktile::test
