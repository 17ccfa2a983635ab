#pragma once

// What holds one runner to its memory limit: a cgroup of its own, or the host's watch.

#include "ChildProcess.h"
#include "MemoryWatch.h"
#include "RunnerCgroup.h"
#include "UniqueFd.h"

#include <zov/RunnerSettings.h>

#include <memory>
#include <optional>

namespace zov::client {

class RunnerMemory {
public:
    // Prepares the bound for a runner about to start: a cgroup when one can be made, else the
    // watch, or nothing when the limit is off.
    explicit RunnerMemory(const MemoryLimit& limit);
    // Stops the watch; the cgroup goes with it, once the runner has been reaped.
    ~RunnerMemory();
    RunnerMemory(const RunnerMemory&) = delete;
    RunnerMemory& operator=(const RunnerMemory&) = delete;

    // What the runner is started with: the cgroup.procs to join before its exec, and the
    // descriptor that it closes once its engine has started (its descriptor 3); -1 for none.
    int cgroupProcs() const { return cgroup_ ? cgroup_->procs() : -1; }
    int readyDescriptor() const { return ready_.write.get(); }
    // The runner could not join its cgroup: the watch holds it instead.
    void useWatch();
    // The runner has started: the watch begins.
    void started(const ChildProcess& process);
    // The runner has been reaped: whether it exceeded its limit is known now, and the cgroup is
    // removed.
    void reaped();

    MemoryBound bound() const { return bound_; }
    size_t limit() const { return limit_; }
    bool exceeded() const { return exceeded_; }

private:
    size_t limit_;
    MemoryBound bound_ = MemoryBound::None;
    std::optional<RunnerCgroup> cgroup_;
    Pipe ready_;
    std::shared_ptr<WatchedRunner> watch_;
    bool exceeded_ = false;
};

} // namespace zov::client
