#pragma once

namespace zov {

// Settles, before the first engine context exists, what the engine would otherwise look up after
// the process has been confined: its options, the time-zone files it takes its zone rules and
// names from, the machine's local time zone and the user's locale.
void prepareEngine();

} // namespace zov
