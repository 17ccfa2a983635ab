#pragma once

#include <cstdint>

namespace zov {

// The least address-space limit (RLIMIT_AS) under which the script engine starts. It reserves
// far more address space than it uses, and takes less when a limit is set, but below about
// 5.3 GiB it cannot start at all and aborts (JavaScriptCore 2.50 on x86-64). The margin above
// that is room for a plugin's own allocations.
inline constexpr uint64_t engineAddressSpace = uint64_t{6} << 30;

// Throws RunnerError, before the engine starts, when the process's address-space limit is below
// engineAddressSpace: the run ends with an error line that says so instead of an abort.
void checkAddressSpaceLimit();

} // namespace zov
