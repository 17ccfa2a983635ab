#include "RunnerCall.h"

#include "Exchange.h"

namespace zov::client {

Outcome call(RunnerProcess runner, std::string_view request, const CallOptions& options) {
    runner.limitCpuTime(options.timeLimit);
    return exchange(std::move(runner), request, options);
}

Outcome call(std::string_view request, const CallOptions& options, const RunnerCommand& runner) {
    return call(RunnerProcess::start(runner, {options.memoryLimit, options.jit}), request, options);
}

} // namespace zov::client
