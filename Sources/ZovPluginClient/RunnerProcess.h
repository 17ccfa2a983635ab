#pragma once

// A started ZovPluginHost process with pipes on its standard streams.

#include "ChildProcess.h"
#include "UniqueFd.h"

#include <zov/PluginClientExport.h>
#include <zov/RunnerCommand.h>

#include <sys/types.h>

namespace zov::client {

// Not part of the installed interface: exported for the project's own tools, tests and
// benchmarks, which start runners themselves.
class ZOV_PLUGIN_CLIENT_EXPORT RunnerProcess {
public:
    // Starts a runner; it creates its engine, confines itself and then waits for the request
    // line. Throws std::system_error when the process cannot be started.
    static RunnerProcess start(const RunnerCommand& command = {});

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
    bool hasExited() { return process_.hasExited(); }
    // Waits for the process to end; its wait status.
    int wait() { return process_.wait(); }
    // Ends the process at once and reaps it; its wait status.
    int kill() { return process_.kill(); }

private:
    RunnerProcess(ChildProcess process, UniqueFd input, UniqueFd output, UniqueFd errors)
        : process_(std::move(process)), input_(std::move(input)), output_(std::move(output)),
          errors_(std::move(errors)) {}

    // A runner that was never reaped is killed and reaped when this goes.
    ChildProcess process_;
    UniqueFd input_;
    UniqueFd output_;
    UniqueFd errors_;
};

} // namespace zov::client
