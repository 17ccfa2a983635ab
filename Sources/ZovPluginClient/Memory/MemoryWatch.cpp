#include "MemoryWatch.h"

#include "ThreadOfThisProcess.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zov::client {

class WatchedRunner {
public:
    WatchedRunner(pid_t pid, UniqueFd processFd, UniqueFd statm, UniqueFd ready, size_t bytes)
        : pid_(pid), processFd_(std::move(processFd)), statm_(std::move(statm)),
          ready_(std::move(ready)), bytes_(bytes) {}

    bool exceeded() const { return exceeded_; }
    bool stopped() const { return stopped_; }
    void stop() { stopped_ = true; }

    // One look at the runner, from the watch's thread only.
    void check() {
        if (stopped_)
            return;
        const std::optional<Pages> pages = readPages();
        if (!pages)
            return;
        // Memory of its own: resident pages that no file or other process backs.
        if ((pages->resident - pages->shared) * pageSize > bytes_) {
            // Known before the runner can be seen to end.
            exceeded_ = true;
            stopped_ = true;
            ::syscall(SYS_pidfd_send_signal, processFd_.get(), SIGKILL, nullptr, 0);
            return;
        }
        if (ready_ && hasEnded(ready_.get())) {
            ready_.reset();
            // Only a runner that has not ended yet is still the process with this ID.
            if (!hasEnded(processFd_.get())) {
                const rlim_t data = pages->data * pageSize + 2 * bytes_;
                const rlimit limit{data, data};
                ::prlimit(pid_, RLIMIT_DATA, &limit, nullptr);
            }
        }
    }

private:
    struct Pages {
        size_t resident = 0;
        size_t shared = 0;
        size_t data = 0;
    };

    std::optional<Pages> readPages() const {
        // "size resident shared text lib data dirty", in pages.
        char text[256];
        const ssize_t count = ::pread(statm_.get(), text, sizeof text - 1, 0);
        if (count <= 0)
            return std::nullopt;
        text[count] = '\0';
        Pages pages;
        size_t size, code, libraries;
        if (std::sscanf(text, "%zu %zu %zu %zu %zu %zu", &size, &pages.resident, &pages.shared,
                        &code, &libraries, &pages.data) != 6)
            return std::nullopt;
        return pages;
    }

    static bool hasEnded(int fd) {
        pollfd watched{fd, POLLIN, 0};
        return ::poll(&watched, 1, 0) != 0;
    }

    static inline const size_t pageSize = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const pid_t pid_;
    const UniqueFd processFd_;
    const UniqueFd statm_;
    UniqueFd ready_; // the watch's thread only
    const size_t bytes_;
    std::atomic<bool> exceeded_ = false;
    std::atomic<bool> stopped_ = false;
};

namespace {

class Watch {
public:
    Watch() {
        std::thread([this] { serve(); }).detach();
    }

    void add(std::shared_ptr<WatchedRunner> runner) {
        std::lock_guard lock(mutex_);
        runners_.push_back(std::move(runner));
        changed_.notify_one();
    }

private:
    // Often enough that a runner filling memory as fast as it can gets little past its limit.
    static constexpr auto interval = std::chrono::milliseconds(10);

    [[noreturn]] void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            std::erase_if(runners_, [](const auto& runner) { return runner->stopped(); });
            // Asleep while there is nothing to watch.
            if (runners_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const std::vector<std::shared_ptr<WatchedRunner>> runners = runners_;
            lock.unlock();
            for (const auto& runner : runners)
                runner->check();
            lock.lock();
            changed_.wait_for(lock, interval);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<WatchedRunner>> runners_; // guarded by mutex_
};

} // namespace

std::shared_ptr<WatchedRunner> watchMemory(pid_t pid, int processFd, UniqueFd ready, size_t bytes) {
    UniqueFd ownProcessFd(::fcntl(processFd, F_DUPFD_CLOEXEC, 0));
    UniqueFd statm(
        ::open(("/proc/" + std::to_string(pid) + "/statm").c_str(), O_RDONLY | O_CLOEXEC));
    if (!ownProcessFd || !statm)
        throw std::system_error(errno, std::generic_category(), "Watching the runner failed");
    auto runner = std::make_shared<WatchedRunner>(pid, std::move(ownProcessFd), std::move(statm),
                                                  std::move(ready), bytes);
    threadOfThisProcess<Watch>().add(runner);
    return runner;
}

bool exceededMemory(const WatchedRunner& runner) {
    return runner.exceeded();
}

void stopWatching(WatchedRunner& runner) {
    runner.stop();
}

} // namespace zov::client
