#pragma once

// What a runner is started with, for the rest of its life: how much memory it may use, what
// holds it to that, and whether its engine compiles to machine code.

#include <cstddef>
#include <string>

namespace zov::client {

struct MemoryLimit {
    // Room for ordinary calls: a runner needs about 30 MiB to start, and about six times the
    // size of a large input, result or fetch reply while it passes through (a 64 MB payload
    // peaks at about 350 MiB, a 200 MB plugin source at 1.6 GiB).
    static constexpr size_t defaultBytes = size_t{1} << 30;

    // The most memory the runner may use, in bytes; zero: no limit.
    size_t bytes = defaultBytes;
    // The cgroup under which each runner gets a memory cgroup of its own: a directory of a
    // cgroup file system that the host may manage, such as one that systemd delegated to the
    // host's service (on cgroup v2 with the memory controller enabled for its children, or
    // enabled by the host when it may). Empty: the host's own memory cgroup.
    std::string cgroupParent = {};
    // False: never make a cgroup, only watch the runner from the host.
    bool useCgroup = true;
};

// What holds a runner to its memory limit.
enum class MemoryBound {
    None,   // no limit
    Cgroup, // a memory cgroup of the runner's own: the kernel kills the runner at the limit
    // No cgroup could be made: the host samples the runner's resident memory and kills it above
    // the limit, and once the engine has started a data-size limit stops it from growing far
    // past that while the host cannot look (a host that is stopped or busy).
    Watched,
};

struct RunnerSettings {
    MemoryLimit memoryLimit = {};
    // Whether the engine compiles hot code to machine code. Off, it only interprets: slower for
    // code that computes a lot, but the runner then has no memory that is writable and
    // executable at once, which a bug in the engine would otherwise hand to a plugin at once.
    bool jit = false;
};

} // namespace zov::client
