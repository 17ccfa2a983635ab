// bench-peak-memory PROGRAM [ARGUMENT...]: runs the program on the same
// standard input and output, then writes "peak KiB N" (its peak resident
// memory) on standard error and exits as it did.
//
// A process's peak as the kernel reports it includes the memory of the
// process that started it when that one was larger: a benchmark that holds
// 64 MB payloads would see its own size. This small program starts the one
// to be measured instead.

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-peak-memory PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0)
        return 127;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 127;
    std::fprintf(stderr, "peak KiB %ld\n", usage.ru_maxrss);
    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    return WEXITSTATUS(status);
}
