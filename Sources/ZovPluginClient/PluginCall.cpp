#include "RunnerCall.h"

#include "Exchange.h"

namespace zov::client {

Outcome call(RunnerProcess runner, std::string_view request, const CallOptions& options) {
    return exchange(std::move(runner), request, options);
}

Outcome call(std::string_view request, const CallOptions& options, const RunnerCommand& runner) {
    return exchange(RunnerProcess::start(runner), request, options);
}

} // namespace zov::client
