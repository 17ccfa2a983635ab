#pragma once

// The one instance of a class that serves the library from a thread of its own.

#include <mutex>
#include <sys/types.h>
#include <unistd.h>

namespace zov::client {

// The instance of T for this process, made at its first use and never destroyed: its thread
// serves until the process ends, after every static destructor that might still need it. A
// process forked from one that had made it gets its own, since a fork copies no thread.
template <typename T> T& threadOfThisProcess() {
    static std::mutex mutex;
    static T* instance = nullptr;
    static pid_t owner = 0;
    std::lock_guard lock(mutex);
    if (!instance || owner != ::getpid()) {
        instance = new T;
        owner = ::getpid();
    }
    return *instance;
}

} // namespace zov::client
