#pragma once

#include "StepFailure.h"

namespace zov {

// Restricts the calling thread, and every thread it starts later, with a
// Landlock ruleset that handles every access right and scope that the
// kernel's Landlock ABI knows and grants none: no file, no TCP port, no
// abstract UNIX socket and no signal to a process outside.
//
// A kernel without Landlock, or with it disabled, is left as it is and the
// step succeeds. A kernel that reports Landlock but refuses the ruleset fails
// the step, with "Landlock ruleset: …" or "Landlock: …".
StepFailure restrictWithLandlock();

} // namespace zov
