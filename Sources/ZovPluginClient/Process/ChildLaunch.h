#pragma once

// Starting a program as a child process, bound to the host's life.

#include "ChildProcess.h"

#include <string>
#include <system_error>
#include <vector>

namespace zov::client {

// What a child is started with.
struct LaunchPlan {
    std::string path;                      // the program, run as it stands (no PATH search)
    std::vector<std::string> arguments;    // its argv, the program's name first
    std::vector<std::string> environment;  // its whole environment, NAME=VALUE
    int standardStreams[3] = {-1, -1, -1}; // the child's standard input, output and error
    int extraDescriptor = -1;              // the child's descriptor 3, or none when -1
    // The cgroup.procs file of a cgroup, opened for writing: the child joins that cgroup before
    // it starts the program, so that nothing it does escapes the cgroup. None when -1.
    int cgroupProcs = -1;
};

// A start that failed: the step, and the system's error.
class LaunchError : public std::system_error {
public:
    enum class Step { Clone, JoinCgroup, Exec };
    LaunchError(Step step, int error, const char* what)
        : std::system_error(error, std::generic_category(), what), step_(step) {}
    Step step() const { return step_; }

private:
    Step step_;
};

// Starts the plan's program as a child of the library's spawner thread. The child has the given
// standard streams (and descriptor 3), no other descriptor of the host, default handling of every
// signal and none blocked, and SIGKILL as its parent-death signal: it ends when the host ends,
// even when the host is killed. Throws LaunchError when the child could not be started or could
// not join the cgroup; no child is left then.
ChildProcess launchChild(const LaunchPlan& plan);

} // namespace zov::client
