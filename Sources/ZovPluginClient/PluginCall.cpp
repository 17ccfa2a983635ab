#include "PluginCall.h"

#include "Exchange.h"

namespace zov::client {

Outcome call(RunnerProcess runner, std::string_view request, const CallOptions& options) {
    runner.limitCpuTime(options.timeLimit);
    return exchange(runner, request, options);
}

Outcome call(std::string_view request, const CallOptions& options, const RunnerCommand& runner) {
    RunnerProcess process = RunnerProcess::start(runner, {options.memoryLimit, options.jit});
    process.limitCpuTime(options.timeLimit);
    return exchange(process, request, options);
}

} // namespace zov::client
