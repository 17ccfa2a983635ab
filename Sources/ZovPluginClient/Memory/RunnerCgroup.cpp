#include "RunnerCgroup.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <linux/magic.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zov::client {

namespace {

namespace fs = std::filesystem;

// The cgroups of runners are named zov-PID-START-SERIAL after their host: its process ID, its
// start time (so that a reused process ID does not pass for the host) and a serial number.
constexpr std::string_view namePrefix = "zov-";

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return file &&
           ::write(file.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::vector<std::string> words(const std::string& text, char separator) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string word; std::getline(stream, word, separator);) {
        if (!word.empty())
            result.push_back(word);
    }
    return result;
}

bool hasWord(const std::string& text, const std::string& word) {
    for (const std::string& line : words(text, '\n')) {
        for (const std::string& candidate : words(line, ' ')) {
            if (candidate == word)
                return true;
        }
    }
    return false;
}

// The start time of process `pid` in clock ticks since boot; none when there is no such process.
std::optional<std::string> startTime(const std::string& pid) {
    const std::string stat = readFile("/proc/" + pid + "/stat");
    // The command name in parentheses may hold anything; the fields after it are plain.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return std::nullopt;
    const std::vector<std::string> fields = words(stat.substr(nameEnd + 1), ' ');
    // The start time is the 22nd field, the 20th after the name.
    if (fields.size() < 20)
        return std::nullopt;
    return fields[19];
}

// Where a cgroup hierarchy is mounted, and which of its cgroups is the mount's root.
struct Mount {
    std::string point;
    std::string root;
};

// The directory of `cgroup` (a path in the hierarchy, as /proc/self/cgroup gives it) under
// `mount`; none when the mount does not show it.
std::optional<std::string> directoryOf(const Mount& mount, const std::string& cgroup) {
    if (mount.root == "/")
        return mount.point + cgroup;
    if (cgroup == mount.root || cgroup.starts_with(mount.root + "/"))
        return mount.point + cgroup.substr(mount.root.size());
    return std::nullopt;
}

} // namespace

std::optional<std::string>
memoryCgroupDirectory(const std::string& mountinfo, const std::string& cgroups,
                      const std::function<bool(const std::string&)>& hasMemoryController) {
    std::optional<Mount> unified, memory;
    // Lines of mountinfo: "ID PARENT DEVICE ROOT POINT OPTIONS... - TYPE SOURCE SUPER-OPTIONS";
    // cgroup mounts have no blanks to escape.
    std::istringstream mounts(mountinfo);
    for (std::string line; std::getline(mounts, line);) {
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        const std::vector<std::string> left = words(line.substr(0, dash), ' ');
        const std::vector<std::string> right = words(line.substr(dash + 3), ' ');
        if (left.size() < 5 || right.size() < 3)
            continue;
        const Mount mount{left[4], left[3]};
        if (right[0] == "cgroup2" && !unified)
            unified = mount;
        else if (right[0] == "cgroup" && !memory) {
            for (const std::string& option : words(right[2], ','))
                if (option == "memory")
                    memory = mount;
        }
    }
    // Lines of /proc/PID/cgroup: "ID:CONTROLLERS:PATH", with no controllers for v2.
    std::optional<std::string> unifiedPath, memoryPath;
    std::istringstream paths(cgroups);
    for (std::string line; std::getline(paths, line);) {
        const size_t first = line.find(':');
        const size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty())
            unifiedPath = path;
        for (const std::string& controller : words(controllers, ','))
            if (controller == "memory")
                memoryPath = path;
    }
    if (unified && unifiedPath) {
        const std::optional<std::string> directory = directoryOf(*unified, *unifiedPath);
        if (directory && hasMemoryController(*directory))
            return directory;
    }
    if (memory && memoryPath)
        return directoryOf(*memory, *memoryPath);
    return std::nullopt;
}

namespace {

// On cgroup v2 a cgroup's children get the memory controller only when it is enabled in the
// parent's cgroup.subtree_control; a parent that holds processes itself (the host's own cgroup,
// unless the host is alone at the root) cannot enable it.
bool enableMemoryForChildren(const std::string& parent) {
    const std::string control = parent + "/cgroup.subtree_control";
    return hasWord(readFile(control), "memory") || writeFile(control, "+memory");
}

// Removes the cgroups that ended hosts left under `parent`: a host killed before it could remove
// its runners' cgroups. Only empty ones can be removed at all, and only those of hosts that have
// ended are tried, so that a live host's cgroup is never taken away before its runner joins it.
void removeStaleCgroups(const std::string& parent) {
    std::error_code error;
    for (fs::directory_iterator entry(parent, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename();
        if (!name.starts_with(namePrefix))
            continue;
        const std::vector<std::string> parts = words(name.substr(namePrefix.size()), '-');
        if (parts.size() == 3 && startTime(parts[0]) != parts[1])
            ::rmdir(entry->path().c_str());
    }
}

std::string newName() {
    static const std::string host =
        std::to_string(::getpid()) + "-" + startTime("self").value_or("0") + "-";
    static std::atomic<unsigned long> serial = 0;
    return std::string(namePrefix) + host + std::to_string(++serial);
}

} // namespace

std::optional<RunnerCgroup> RunnerCgroup::make(const std::string& parent, size_t bytes) {
    static const std::optional<std::string> own = memoryCgroupDirectory(
        readFile("/proc/self/mountinfo"), readFile("/proc/self/cgroup"),
        [](const std::string& directory) {
            return hasWord(readFile(directory + "/cgroup.controllers"), "memory");
        });
    const std::optional<std::string> directory = parent.empty() ? own : parent;
    if (!directory)
        return std::nullopt;
    struct statfs filesystem {};
    if (::statfs(directory->c_str(), &filesystem) != 0)
        return std::nullopt;
    const bool unified = filesystem.f_type == CGROUP2_SUPER_MAGIC;
    if (unified ? !enableMemoryForChildren(*directory)
                : filesystem.f_type != CGROUP_SUPER_MAGIC ||
                      ::access((*directory + "/memory.limit_in_bytes").c_str(), F_OK) != 0)
        return std::nullopt;
    removeStaleCgroups(*directory);

    std::string path = *directory + "/" + newName();
    if (::mkdir(path.c_str(), 0755) != 0)
        return std::nullopt;
    const std::string limit = std::to_string(bytes);
    bool set;
    if (unified) {
        // One kill ends the whole group, should the runner ever be more than one process.
        set = writeFile(path + "/memory.max", limit) && writeFile(path + "/memory.oom.group", "1");
        // Absent without swap accounting, where nothing can be swapped out either.
        writeFile(path + "/memory.swap.max", "0");
    } else {
        // A new v1 cgroup takes its parent's choice to disable the OOM killer, which would leave
        // a runner at its limit waiting for memory for ever.
        set = writeFile(path + "/memory.limit_in_bytes", limit) &&
              writeFile(path + "/memory.oom_control", "0");
        // Memory and swap together, where swap is accounted.
        writeFile(path + "/memory.memsw.limit_in_bytes", limit);
    }
    UniqueFd procs(::open((path + "/cgroup.procs").c_str(), O_WRONLY | O_CLOEXEC));
    if (!set || !procs) {
        ::rmdir(path.c_str());
        return std::nullopt;
    }
    return RunnerCgroup(std::move(path), unified, std::move(procs));
}

RunnerCgroup::RunnerCgroup(RunnerCgroup&& other) noexcept
    : path_(std::exchange(other.path_, {})), unified_(other.unified_),
      procs_(std::move(other.procs_)) {}

RunnerCgroup& RunnerCgroup::operator=(RunnerCgroup&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, {});
        unified_ = other.unified_;
        procs_ = std::move(other.procs_);
    }
    return *this;
}

unsigned long RunnerCgroup::oomKills() const {
    if (path_.empty())
        return 0;
    // Lines of "NAME VALUE"; v1 counts its kills beside its OOM settings.
    std::istringstream events(
        readFile(path_ + (unified_ ? "/memory.events" : "/memory.oom_control")));
    for (std::string line; std::getline(events, line);) {
        const std::vector<std::string> fields = words(line, ' ');
        if (fields.size() == 2 && fields[0] == "oom_kill")
            return std::strtoul(fields[1].c_str(), nullptr, 10);
    }
    return 0;
}

void RunnerCgroup::remove() noexcept {
    if (path_.empty())
        return;
    procs_.reset();
    // A runner just reaped may still be leaving its cgroup for a moment.
    for (int attempt = 0; attempt < 20 && ::rmdir(path_.c_str()) != 0 && errno == EBUSY; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    path_.clear();
}

} // namespace zov::client
