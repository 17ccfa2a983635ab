#pragma once

// Runners started ahead of time, so that a call does not wait for the engine
// to start: each runner creates its context, confines itself and then waits
// for its request.

#include <zov/PluginCall.h>
#include <zov/PluginClientExport.h>
#include <zov/RunnerCommand.h>
#include <zov/RunnerSettings.h>

#include <cstddef>
#include <memory>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace zov::client {

class RunnerProcess;

class ZOV_PLUGIN_CLIENT_EXPORT RunnerPool {
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

    // The processes of the runners waiting now, oldest first.
    std::vector<pid_t> waitingRunners();

    // One call, exactly as a cold call would make it, on a runner that has
    // never been given a request: a waiting one, or one started now when none
    // waits. The replacement starts once the call has returned, so that an
    // engine starting up does not compete with the call for the processor.
    // Throws std::system_error when no runner can be started.
    Outcome call(std::string_view request, const CallOptions& options);

private:
    friend ZOV_PLUGIN_CLIENT_EXPORT RunnerProcess takeRunner(RunnerPool& pool);

    // The waiting runners and the thread that keeps them started: kept out of this header, so
    // that neither the library's internals nor their layout are part of its interface.
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace zov::client
