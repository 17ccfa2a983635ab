#pragma once

#include "Engine.h"

namespace zov {

// Warms the fresh context up and confines the whole process for the rest of
// its life. Throws RunnerError (code 5) when the confinement cannot be entered.
void enterSandbox(engine::Context& context);

} // namespace zov
