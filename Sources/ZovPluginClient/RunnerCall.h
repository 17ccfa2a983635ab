#pragma once

// Calls on runners that the caller holds: the pool's calls, and the project's own tools, tests
// and benchmarks, which start runners themselves. Not part of the installed interface (it hands
// out RunnerProcess, which is not either), but exported for those.

#include "RunnerProcess.h"

#include <zov/PluginCall.h>
#include <zov/PluginClientExport.h>
#include <zov/RunnerPool.h>

#include <string_view>

namespace zov::client {

// Runs one call on a runner already started: writes `request` (one line,
// without line feed), answers fetches, and returns at the final line.
ZOV_PLUGIN_CLIENT_EXPORT Outcome call(RunnerProcess runner, std::string_view request,
                                      const CallOptions& options);

// A runner of the pool's that has never been given a request: a waiting one, or one started now
// when none waits. A replacement starts in the background. Throws std::system_error when no
// runner can be started.
ZOV_PLUGIN_CLIENT_EXPORT RunnerProcess takeRunner(RunnerPool& pool);

} // namespace zov::client
