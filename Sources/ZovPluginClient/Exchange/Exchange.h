#pragma once

// The conversation with one runner: the request line in, each fetch line answered, the final
// line and the runner's end out, within the caller's bounds of time and output.

#include "RunnerProcess.h"
#include <zov/PluginCall.h>

#include <string_view>

namespace zov::client {

// Runs the call on `runner`. Returns as soon as the final line has been read and checked, and
// hands the runner to the background reaper; a call that fails waits for the runner's end.
Outcome exchange(RunnerProcess runner, std::string_view request, const CallOptions& options);

} // namespace zov::client
