#pragma once

// A started ZovPluginHost process with pipes on its standard streams.

#include <string>
#include <sys/types.h>
#include <vector>

namespace zov::client {

class RunnerProcess {
public:
    // Starts the runner at `path` (with `arguments`, for a runner started
    // through a wrapper); it creates its engine, confines itself and then
    // waits for the request line. Throws std::system_error when the process
    // cannot be started.
    static RunnerProcess start(const std::string& path,
                               const std::vector<std::string>& arguments = {});

    RunnerProcess(RunnerProcess&& other) noexcept;
    RunnerProcess& operator=(RunnerProcess&& other) noexcept;
    RunnerProcess(const RunnerProcess&) = delete;
    RunnerProcess& operator=(const RunnerProcess&) = delete;
    // A runner that was never reaped is killed and reaped here.
    ~RunnerProcess();

    pid_t pid() const { return pid_; }
    // A descriptor that polls readable once the process has ended.
    int processFd() const { return processFd_; }
    // Our ends of the runner's standard input, output and error; -1 once closed.
    int input() const { return input_; }
    int output() const { return output_; }
    int errors() const { return errors_; }

    void closeInput();
    void closeOutput();
    void closeErrors();

    // Whether the process has ended, without waiting for it.
    bool hasExited();
    // Waits for the process to end; its wait status.
    int wait();
    // Ends the process at once and reaps it; its wait status.
    int kill();

private:
    RunnerProcess(pid_t pid, int input, int output, int errors);
    void release();
    // Reaps the process if it has ended (waiting for that unless `options`
    // holds WNOHANG); whether it has.
    bool reap(int options);
    // Records the status of a reaped process.
    void reaped(int status);

    pid_t pid_ = -1;
    int processFd_ = -1;
    int input_ = -1;
    int output_ = -1;
    int errors_ = -1;
    int status_ = -1; // the wait status once reaped
};

// The ZovPluginHost that stands beside the running executable.
std::string runnerBesideExecutable();

} // namespace zov::client
