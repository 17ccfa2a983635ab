#pragma once

// The one thread of the library that starts every child process.

#include <functional>

namespace zov::client {

// Runs `task` on the library's spawner thread and waits for it; an exception that `task` throws
// is thrown here. The thread lives as long as the process, with every signal blocked.
//
// A runner's parent-death signal fires when the thread that started it ends, not the process: a
// runner started by a thread of the host (or of a pool) that then ended would be killed in the
// middle of its call. Started from this thread, it is killed only when the host itself ends.
void runOnSpawnerThread(const std::function<void()>& task);

} // namespace zov::client
