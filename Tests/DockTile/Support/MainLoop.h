#pragma once

#include <chrono>
#include <functional>

namespace zov::docktile::test {

// Runs the default main context until the condition holds or the time is up; returns whether
// the condition holds.
bool iterateUntil(const std::function<bool()>& condition,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Waits, without dispatching anything, until the default main context has something to dispatch;
// returns whether it has.
bool waitUntilPending(std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs the default main context until nothing is left to dispatch.
void drainMainContext();

} // namespace zov::docktile::test
