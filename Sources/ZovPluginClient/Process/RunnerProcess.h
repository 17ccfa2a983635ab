#pragma once

// A started ZovPluginHost process with pipes on its standard streams.

#include "ChildProcess.h"
#include "UniqueFd.h"

#include <zov/PluginClientExport.h>
#include <zov/RunnerCommand.h>
#include <zov/RunnerSettings.h>

#include <chrono>
#include <memory>
#include <sys/types.h>

namespace zov::client {

class RunnerMemory;

// Not part of the installed interface: exported for the project's own tools, tests and
// benchmarks, which start runners themselves.
class ZOV_PLUGIN_CLIENT_EXPORT RunnerProcess {
public:
    // Starts a runner; it creates its engine, confines itself and then waits for the request
    // line. It ends when the host does, even when the host is killed: it has SIGKILL for its
    // parent-death signal, tied to a thread of the library that lives as long as the host. Its
    // environment is the host's without the JSC_* variables that tune the engine. Throws
    // std::system_error when the process cannot be started.
    static RunnerProcess start(const RunnerCommand& command = {},
                               const RunnerSettings& settings = {});

    RunnerProcess(RunnerProcess&&) noexcept;
    RunnerProcess& operator=(RunnerProcess&&) noexcept;
    ~RunnerProcess();

    pid_t pid() const { return process_.pid(); }
    // A descriptor that polls readable once the process has ended.
    int processFd() const { return process_.processFd(); }
    // Our ends of the runner's standard input, output and error; -1 once closed.
    int input() const { return input_.get(); }
    int output() const { return output_.get(); }
    int errors() const { return errors_.get(); }

    void closeInput() { input_.reset(); }
    void closeOutput() { output_.reset(); }
    void closeErrors() { errors_.reset(); }

    // Whether the process has ended, without waiting for it.
    bool hasExited();
    // Waits for the process to end; its wait status, or -1 when the host ignores SIGCHLD (or
    // reaped it elsewhere) and the kernel reaped it.
    int wait();
    // Ends the process at once and reaps it; its wait status, as wait() gives it.
    int kill();

    // What holds the runner to its memory limit, and the limit in bytes (zero: none).
    MemoryBound memoryBound() const;
    size_t memoryLimit() const;
    // Whether it was killed for exceeding its memory limit: known once it has been reaped.
    bool memoryLimitExceeded() const;

    // Lets the runner use at most `timeLimit` more CPU time, and a second to spare: the kernel
    // then kills it even when the host that should have stopped it at its time limit has died.
    // Nothing for a zero time limit.
    void limitCpuTime(std::chrono::milliseconds timeLimit);

private:
    RunnerProcess(std::unique_ptr<RunnerMemory> memory, ChildProcess process, UniqueFd input,
                  UniqueFd output, UniqueFd errors);
    // Done once the process has been reaped.
    void reaped();

    // Destroyed after the process, which is killed and reaped first.
    std::unique_ptr<RunnerMemory> memory_;
    // A runner that was never reaped is killed and reaped when this goes.
    ChildProcess process_;
    UniqueFd input_;
    UniqueFd output_;
    UniqueFd errors_;
};

} // namespace zov::client
