#include "DockProcess.h"

#include <cerrno>
#include <csignal>
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

} // namespace

DockProcess::DockProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment)
    : DockProcess(zov::test::spawnChild(arguments, environmentWith(environment))) {}

DockProcess::DockProcess(zov::test::SpawnedChild child)
    : pid(child.pid), pipes(std::move(child.pipes)) {}

DockProcess::~DockProcess() {
    if (!exitStatus) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::optional<std::string> DockProcess::nextLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string& output = pipes.output;
    while (output.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (!pipes.pump(deadline)) {
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
    while (pipes.pump(deadline) && std::chrono::steady_clock::now() < deadline) {
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
