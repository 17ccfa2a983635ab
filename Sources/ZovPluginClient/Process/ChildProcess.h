#pragma once

// Owning a child process.

#include "UniqueFd.h"

#include <zov/PluginClientExport.h>

#include <sys/types.h>

namespace zov::client {

// Owns a started child process through its process descriptor. A process that has not been
// reaped when its owner goes is killed and reaped then, so that none outlives its owner or is
// left a zombie. Exported (though not installed) for RunnerProcess's inline members.
//
// The process is reaped through its descriptor, never by its number, and whatever the host has
// done with SIGCHLD: when the host ignores SIGCHLD (or something else in it waits for any child),
// the kernel reaps the process itself and its wait status is lost. It has ended all the same; its
// status is then unknown.
class ZOV_PLUGIN_CLIENT_EXPORT ChildProcess {
public:
    // The wait status of a process that was reaped by someone else.
    static constexpr int unknownStatus = -1;

    ChildProcess() = default;
    // Takes over the child `pid` and its process descriptor `processFd`.
    ChildProcess(pid_t pid, UniqueFd processFd) : pid_(pid), processFd_(std::move(processFd)) {}
    ChildProcess(ChildProcess&&) noexcept = default;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { end(); }

    pid_t pid() const { return pid_; }
    // Polls readable once the process has ended; -1 once it has been reaped.
    int processFd() const { return processFd_.get(); }

    // Whether the process has ended, reaping it if so, without waiting.
    bool hasExited();
    // Waits for the process to end; its wait status, or unknownStatus.
    int wait();
    // Ends the process at once and reaps it; its wait status, or unknownStatus.
    int kill();

private:
    // Reaps the process if it has ended (waiting for that unless `options` holds WNOHANG);
    // whether it has.
    bool reap(int options);
    // Kills and reaps a process still owned.
    void end() noexcept;

    pid_t pid_ = -1;
    UniqueFd processFd_;
    int status_ = unknownStatus; // the wait status once reaped
};

} // namespace zov::client
