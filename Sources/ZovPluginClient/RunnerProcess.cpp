#include "RunnerProcess.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace zov::client {

namespace {

constexpr int pipeSize = 1 << 20;

// posix_spawn's settings for a runner: its standard streams on the pipes' far ends, default
// signal handling and nothing blocked, whatever the host has set for itself.
class SpawnSettings {
public:
    SpawnSettings(const Pipe& input, const Pipe& output, const Pipe& errors) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_adddup2(&actions_, input.read.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, output.write.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, errors.write.get(), STDERR_FILENO);
        posix_spawnattr_init(&attributes_);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

} // namespace

RunnerProcess RunnerProcess::start(const RunnerCommand& command) {
    // Every end is closed on exec: only the dup2'ed copies reach the child, so runners started
    // from several threads never hold each other's pipes.
    Pipe input = makePipe();
    Pipe output = makePipe();
    Pipe errors = makePipe();
    // Large requests and results pass in fewer, larger steps. Only a wish: a system with a lower
    // limit keeps the default size.
    for (const UniqueFd* end : {&input.write, &output.read})
        ::fcntl(end->get(), F_SETPIPE_SZ, pipeSize);

    const std::string& path = command.path;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : command.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const SpawnSettings settings(input, output, errors);
    const int error = ::posix_spawn(&pid, path.c_str(), settings.actions(), settings.attributes(),
                                    argv.data(), environ);
    if (error != 0)
        throw std::system_error(error, std::generic_category(),
                                "Starting the plugin runner failed");
    return RunnerProcess(ChildProcess(pid), std::move(input.write), std::move(output.read),
                         std::move(errors.read));
}

} // namespace zov::client
