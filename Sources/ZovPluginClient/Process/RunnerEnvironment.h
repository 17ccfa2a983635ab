#pragma once

// The environment a runner starts with.

#include <string>
#include <vector>

namespace zov::client {

// The host's environment without its JSC_* variables, which tune the engine and are no host's
// business inside the confined runner; with `jit` false, JSC_useJIT=false turns the engine's JIT
// off, so that the runner has no memory that is both writable and executable.
std::vector<std::string> runnerEnvironment(bool jit);

} // namespace zov::client
