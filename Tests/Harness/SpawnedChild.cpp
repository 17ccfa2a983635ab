#include "SpawnedChild.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zov::test {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& string : strings)
        result.push_back(string.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

int SpawnedChild::wait() const {
    int status = -1;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

SpawnedChild spawnChild(const std::vector<std::string>& arguments,
                        const std::optional<std::vector<std::string>>& environment,
                        std::optional<int> input, bool nonBlockingOutput) {
    // The pipes' own ends are closed on exec: only the dup2'ed copies reach the child.
    Pipe output = makePipe();
    // The flag belongs to the child's end alone, which only the child keeps.
    if (nonBlockingOutput)
        ::fcntl(output.write.get(), F_SETFL, O_NONBLOCK);
    Pipe errors = makePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input)
        posix_spawn_file_actions_adddup2(&actions, *input, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.write.get(), STDERR_FILENO);
    std::vector<std::string> argumentStrings = arguments;
    std::vector<std::string> environmentStrings = environment.value_or(std::vector<std::string>{});
    const auto argv = pointers(argumentStrings);
    const auto envp = pointers(environmentStrings);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                                    environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + arguments.front());
    return {pid, ChildPipes(std::move(output.read), std::move(errors.read))};
}

} // namespace zov::test
