// zov-test-host: a host for tests to kill. It starts a runner, cold or from a pool, writes the
// runner's process ID on a line of its own, then calls a plugin method that never returns, with
// no time limit.
//
//   zov-test-host cold|pooled
//
// Or, in a runner's place, it shows on standard error what it was started with: its blocked and
// ignored signals as /proc shows them (what an exec keeps of a signal's handling), and its open
// descriptors.
//
//   zov-test-host inherited

#include "RunnerCall.h"

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <optional>
#include <string>

namespace {

int showInherited() {
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("SigBlk") || line.starts_with("SigIgn"))
                std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    DIR* descriptors = ::opendir("/proc/self/fd");
    while (const dirent* entry = ::readdir(descriptors)) {
        if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != ::dirfd(descriptors))
            std::fprintf(stderr, "fd %s\n", entry->d_name);
    }
    ::closedir(descriptors);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace zov::client;
    if (argc == 2 && std::strcmp(argv[1], "inherited") == 0)
        return showInherited();
    if (argc != 2 || (std::strcmp(argv[1], "cold") != 0 && std::strcmp(argv[1], "pooled") != 0)) {
        std::fprintf(stderr, "usage: zov-test-host cold|pooled|inherited\n");
        return 2;
    }
    std::optional<RunnerPool> pool;
    if (std::strcmp(argv[1], "pooled") == 0)
        pool.emplace();
    RunnerProcess runner = pool ? takeRunner(*pool) : RunnerProcess::start();
    std::printf("%d\n", runner.pid());
    std::fflush(stdout);
    const Outcome outcome =
        call(std::move(runner), requestLine("return {m() { for (;;) {} }};", "m"), CallOptions{});
    std::fprintf(stderr, "the call ended: %s\n", outcome.message.c_str());
    return 1;
}
