#include "RunnerPool.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace zov::client {

RunnerPool::RunnerPool(Options options)
    : options_(std::move(options)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!wakeFd_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    refiller_ = std::thread([this] { refill(); });
}

RunnerPool::~RunnerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeRefill();
    refiller_.join();
    // The waiting runners are killed and reaped as the deque goes.
}

void RunnerPool::wakeRefill() {
    const uint64_t one = 1;
    // A full counter already wakes the poll; nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
}

std::optional<RunnerProcess> RunnerPool::takeWaiting() {
    std::lock_guard lock(mutex_);
    while (!waiting_.empty()) {
        RunnerProcess runner = std::move(waiting_.front());
        waiting_.pop_front();
        // One that died while it waited is reaped as it goes.
        if (!runner.hasExited())
            return runner;
    }
    return std::nullopt;
}

RunnerProcess RunnerPool::take() {
    std::optional<RunnerProcess> runner = takeWaiting();
    wakeRefill();
    return runner ? std::move(*runner) : startRunner();
}

RunnerProcess RunnerPool::startRunner() const {
    return RunnerProcess::start(options_.runner, {options_.memoryLimit, options_.jit});
}

std::vector<pid_t> RunnerPool::waitingRunners() {
    std::lock_guard lock(mutex_);
    std::vector<pid_t> pids;
    for (RunnerProcess& runner : waiting_) {
        if (!runner.hasExited())
            pids.push_back(runner.pid());
    }
    return pids;
}

Outcome RunnerPool::call(std::string_view request, const CallOptions& options) {
    // However the call ends.
    struct RefillAfterward {
        RunnerPool& pool;
        ~RefillAfterward() { pool.wakeRefill(); }
    } refillAfterward{*this};
    std::optional<RunnerProcess> runner = takeWaiting();
    return client::call(runner ? std::move(*runner) : startRunner(), request, options);
}

void RunnerPool::refill() {
    using namespace std::chrono_literals;
    // After a failed start or a runner that died while it waited, pause before
    // the next start: a broken runner must not make the pool spawn in a loop.
    // take() meanwhile starts runners itself, and reports their failures.
    constexpr auto pause = 100ms;
    bool paused = false;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (std::erase_if(waiting_, [](RunnerProcess& runner) { return runner.hasExited(); }) > 0)
            paused = true;
        if (waiting_.size() < options_.waiting && !paused) {
            lock.unlock();
            std::optional<RunnerProcess> started;
            try {
                started = startRunner();
            } catch (const std::system_error&) {
                paused = true;
            }
            lock.lock();
            if (started)
                waiting_.push_back(std::move(*started));
            continue;
        }
        std::vector<pollfd> fds{{wakeFd_.get(), POLLIN, 0}};
        for (const RunnerProcess& runner : waiting_)
            fds.push_back({runner.processFd(), POLLIN, 0});
        lock.unlock();
        const int ready = ::poll(fds.data(), fds.size(), paused ? int{pause.count()} : -1);
        if (ready == 0)
            paused = false;
        uint64_t wakeUps = 0;
        [[maybe_unused]] const ssize_t bytes = ::read(wakeFd_.get(), &wakeUps, sizeof wakeUps);
        lock.lock();
    }
}

} // namespace zov::client
