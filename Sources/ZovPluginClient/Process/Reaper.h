#pragma once

// Runners that have written their final line, waited for in the background: the call has
// returned already, and nothing of the runner's end falls on the caller's time.

#include "RunnerProcess.h"
#include <zov/PluginCall.h>

#include <chrono>
#include <future>

namespace zov::client {

// Waits, on the library's reaper thread, for `runner` to end after its final line, and tells how
// it ended: a problem when its exit status is not `expectedStatus`, when it writes anything more,
// or when it has not ended `grace` after its final line (it is then killed). `start` is when its
// call began. `onExit`, when set, is called on the reaper thread with what the future holds.
std::shared_future<RunnerExit>
reapInBackground(RunnerProcess runner, int expectedStatus,
                 std::chrono::steady_clock::time_point start,
                 std::function<void(const RunnerExit&)> onExit = {},
                 std::chrono::milliseconds grace = std::chrono::seconds(5));

} // namespace zov::client
