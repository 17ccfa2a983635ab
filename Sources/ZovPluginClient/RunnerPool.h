#pragma once

// Runners started ahead of time, so that a call does not wait for the engine
// to start: each runner creates its context, confines itself and then waits
// for its request.

#include "PluginCall.h"
#include "RunnerProcess.h"
#include "UniqueFd.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zov::client {

class RunnerPool {
public:
    struct Options {
        RunnerCommand runner = {};
        // How many started runners wait for a call.
        size_t waiting = 1;
        // The memory limit of each runner, and whether its engine compiles to machine code:
        // settled when a runner starts, so the pool's and not the call's.
        MemoryLimit memoryLimit = {};
        bool jit = RunnerSettings{}.jit;
    };

    // Starts the first runners in the background at once.
    explicit RunnerPool(Options options);
    RunnerPool() : RunnerPool(Options{}) {}
    // Stops starting runners, and kills and reaps those still waiting.
    ~RunnerPool();
    RunnerPool(const RunnerPool&) = delete;
    RunnerPool& operator=(const RunnerPool&) = delete;

    // A runner that has never been given a request: a waiting one, or one
    // started now when none waits. A replacement starts in the background.
    // Throws std::system_error when no runner can be started.
    RunnerProcess take();

    // The processes of the runners waiting now, oldest first.
    std::vector<pid_t> waitingRunners();

    // One call, exactly as a cold call would make it, on a taken runner. The replacement runner
    // starts once the call has returned, so that an engine starting up does not compete with the
    // call for the processor.
    Outcome call(std::string_view request, const CallOptions& options);

private:
    // A waiting runner that is still alive, if there is one; the refill is not woken.
    std::optional<RunnerProcess> takeWaiting();
    // Keeps `waiting` runners started, replacing those that die while waiting.
    void refill();
    RunnerProcess startRunner() const;
    void wakeRefill();

    const Options options_;
    std::mutex mutex_;
    std::deque<RunnerProcess> waiting_; // guarded by mutex_
    bool stopping_ = false;             // guarded by mutex_
    UniqueFd wakeFd_;                   // an eventfd that interrupts refill's poll
    std::thread refiller_;
};

} // namespace zov::client
