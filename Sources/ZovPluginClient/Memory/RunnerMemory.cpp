#include "RunnerMemory.h"

namespace zov::client {

RunnerMemory::RunnerMemory(const MemoryLimit& limit) : limit_(limit.bytes) {
    if (limit_ == 0)
        return;
    if (limit.useCgroup)
        cgroup_ = RunnerCgroup::make(limit.cgroupParent, limit_);
    if (cgroup_)
        bound_ = MemoryBound::Cgroup;
    else
        useWatch();
}

RunnerMemory::~RunnerMemory() {
    if (watch_)
        stopWatching(*watch_);
}

void RunnerMemory::useWatch() {
    cgroup_.reset();
    bound_ = MemoryBound::Watched;
    ready_ = makePipe();
}

void RunnerMemory::started(const ChildProcess& process) {
    if (bound_ != MemoryBound::Watched)
        return;
    // Only the runner's copy may keep the pipe open, so that its end shows.
    ready_.write.reset();
    watch_ = watchMemory(process.pid(), process.processFd(), std::move(ready_.read), limit_);
}

void RunnerMemory::reaped() {
    if (cgroup_) {
        exceeded_ = cgroup_->oomKills() > 0;
        cgroup_.reset();
    }
    if (watch_) {
        exceeded_ = exceededMemory(*watch_);
        stopWatching(*watch_);
        watch_.reset();
    }
}

} // namespace zov::client
