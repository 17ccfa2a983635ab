#pragma once

// A memory cgroup of one runner's own.

#include "UniqueFd.h"

#include <zov/PluginClientExport.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace zov::client {

// The directory of a process's own memory cgroup, from its mountinfo and cgroup files in /proc:
// its cgroup in the unified hierarchy (v2) where `hasMemoryController` says that the memory
// controller is there, else its cgroup in v1's memory hierarchy; none when neither is mounted
// where the process can see it. Exported (though not installed) for its tests.
ZOV_PLUGIN_CLIENT_EXPORT std::optional<std::string>
memoryCgroupDirectory(const std::string& mountinfo, const std::string& cgroups,
                      const std::function<bool(const std::string& directory)>& hasMemoryController);

// A cgroup that holds one runner: its members may use at most a given amount of memory, swap
// none of it, and are killed by the kernel when they need more. cgroup v2 where the unified
// hierarchy has the memory controller, else v1's memory hierarchy.
class RunnerCgroup {
public:
    // A new cgroup under `parent` (empty: the host's own memory cgroup) for a runner that may use
    // `bytes` of memory. None when no cgroup can be made there: no memory controller, no right to
    // make or set one, or on cgroup v2 a parent that cannot enable the controller for its
    // children. The cgroups that hosts that have ended left under `parent` are removed first
    // (a look at the names in `parent`, and the start time of the hosts they name).
    static std::optional<RunnerCgroup> make(const std::string& parent, size_t bytes);

    RunnerCgroup(RunnerCgroup&& other) noexcept;
    RunnerCgroup& operator=(RunnerCgroup&& other) noexcept;
    RunnerCgroup(const RunnerCgroup&) = delete;
    RunnerCgroup& operator=(const RunnerCgroup&) = delete;
    ~RunnerCgroup() { remove(); }

    const std::string& path() const { return path_; }
    // Its cgroup.procs, open for writing: a process joins by writing "0".
    int procs() const { return procs_.get(); }
    // How many members the kernel has killed for want of memory.
    unsigned long oomKills() const;
    // Removes the cgroup, once its members have ended. One that cannot be removed is left to the
    // next host that makes cgroups under the same parent.
    void remove() noexcept;

private:
    RunnerCgroup(std::string path, bool unified, UniqueFd procs)
        : path_(std::move(path)), unified_(unified), procs_(std::move(procs)) {}

    std::string path_; // empty once removed
    bool unified_;     // cgroup v2
    UniqueFd procs_;
};

} // namespace zov::client
