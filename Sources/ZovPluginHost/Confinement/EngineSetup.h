#pragma once

namespace zov {

// Settles, before the first engine context exists, what the engine would otherwise look up after
// the process has been confined: its options and the machine's local time zone.
void prepareEngine();

} // namespace zov
