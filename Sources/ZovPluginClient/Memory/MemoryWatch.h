#pragma once

// The host's own watch over the memory of runners that have no memory cgroup.

#include "UniqueFd.h"

#include <cstddef>
#include <memory>
#include <sys/types.h>

namespace zov::client {

// One runner under watch, shared by its owner and the watch.
class WatchedRunner;

// Starts watching the runner `pid` (`processFd` its process descriptor) until `stopWatching`:
// a thread of the library samples its resident memory every few milliseconds and kills it when
// that exceeds `bytes`. Once `ready` reports the end of input (the runner closes every descriptor
// above 2 when it confines itself, its engine started), its data size may grow by twice `bytes`
// at most: a bound that the kernel keeps while the watch cannot look, and that the engine's
// start, which reserves gigabytes for a moment, would not survive.
std::shared_ptr<WatchedRunner> watchMemory(pid_t pid, int processFd, UniqueFd ready, size_t bytes);

// Whether the watch killed the runner for its memory.
bool exceededMemory(const WatchedRunner& runner);

// Stops watching a runner that has been reaped.
void stopWatching(WatchedRunner& runner);

} // namespace zov::client
