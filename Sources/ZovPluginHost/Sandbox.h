#pragma once

#include "Engine.h"

namespace zov {

// Settles, before the first engine context exists, what the engine would
// otherwise look up after the process has been confined: its options and the
// machine's local time zone.
void prepareSandbox();

// Warms the fresh context up and confines the whole process for the rest of
// its life. Throws RunnerError (code 5) when the confinement cannot be entered.
void enterSandbox(engine::Context& context);

} // namespace zov
