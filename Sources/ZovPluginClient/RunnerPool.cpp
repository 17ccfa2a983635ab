#include "RunnerCall.h"
#include "RunnerProcess.h"
#include "UniqueFd.h"

#include <zov/RunnerPool.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zov::client {

// Hidden, unlike the class it belongs to: nothing outside the library uses it.
struct ZOV_PLUGIN_CLIENT_NO_EXPORT RunnerPool::State {
    explicit State(Options chosen)
        : options(std::move(chosen)), wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (!wakeFd)
            throw std::system_error(errno, std::generic_category(), "eventfd");
        refiller = std::thread([this] { refill(); });
    }

    ~State() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wakeRefill();
        refiller.join();
        // The waiting runners are killed and reaped as the deque goes.
    }

    // A waiting runner that is still alive, if there is one; the refill is not woken.
    std::optional<RunnerProcess> takeWaiting();
    // A waiting runner, or one started now; a replacement starts in the background.
    RunnerProcess take();
    // Keeps `waiting` runners started, replacing those that die while waiting.
    void refill();
    void wakeRefill();
    RunnerProcess startRunner() const;

    const Options options;
    std::mutex mutex;
    std::deque<RunnerProcess> waiting; // guarded by mutex
    bool stopping = false;             // guarded by mutex
    UniqueFd wakeFd;                   // an eventfd that interrupts refill's poll
    std::thread refiller;
};

RunnerPool::RunnerPool(Options options) : state_(std::make_unique<State>(std::move(options))) {}

RunnerPool::~RunnerPool() = default;

void RunnerPool::State::wakeRefill() {
    const uint64_t one = 1;
    // A full counter already wakes the poll; nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd.get(), &one, sizeof one);
}

std::optional<RunnerProcess> RunnerPool::State::takeWaiting() {
    std::lock_guard lock(mutex);
    while (!waiting.empty()) {
        RunnerProcess runner = std::move(waiting.front());
        waiting.pop_front();
        // One that died while it waited is reaped as it goes.
        if (!runner.hasExited())
            return runner;
    }
    return std::nullopt;
}

RunnerProcess RunnerPool::State::take() {
    std::optional<RunnerProcess> runner = takeWaiting();
    wakeRefill();
    return runner ? std::move(*runner) : startRunner();
}

RunnerProcess RunnerPool::State::startRunner() const {
    return RunnerProcess::start(options.runner, {options.memoryLimit, options.jit});
}

RunnerProcess takeRunner(RunnerPool& pool) {
    return pool.state_->take();
}

std::vector<pid_t> RunnerPool::waitingRunners() {
    std::lock_guard lock(state_->mutex);
    std::vector<pid_t> pids;
    for (RunnerProcess& runner : state_->waiting) {
        if (!runner.hasExited())
            pids.push_back(runner.pid());
    }
    return pids;
}

Outcome RunnerPool::call(std::string_view request, const CallOptions& options) {
    // However the call ends.
    struct RefillAfterward {
        State& state;
        ~RefillAfterward() { state.wakeRefill(); }
    } refillAfterward{*state_};
    std::optional<RunnerProcess> runner = state_->takeWaiting();
    return client::call(runner ? std::move(*runner) : state_->startRunner(), request, options);
}

void RunnerPool::State::refill() {
    using namespace std::chrono_literals;
    // After a failed start or a runner that died while it waited, pause before
    // the next start: a broken runner must not make the pool spawn in a loop.
    // take() meanwhile starts runners itself, and reports their failures.
    constexpr auto pause = 100ms;
    bool paused = false;
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (std::erase_if(waiting, [](RunnerProcess& runner) { return runner.hasExited(); }) > 0)
            paused = true;
        if (waiting.size() < options.waiting && !paused) {
            lock.unlock();
            std::optional<RunnerProcess> started;
            try {
                started = startRunner();
            } catch (const std::system_error&) {
                paused = true;
            }
            lock.lock();
            if (started)
                waiting.push_back(std::move(*started));
            continue;
        }
        std::vector<pollfd> fds{{wakeFd.get(), POLLIN, 0}};
        for (const RunnerProcess& runner : waiting)
            fds.push_back({runner.processFd(), POLLIN, 0});
        lock.unlock();
        const int ready = ::poll(fds.data(), fds.size(), paused ? int{pause.count()} : -1);
        if (ready == 0)
            paused = false;
        uint64_t wakeUps = 0;
        [[maybe_unused]] const ssize_t bytes = ::read(wakeFd.get(), &wakeUps, sizeof wakeUps);
        lock.lock();
    }
}

} // namespace zov::client
