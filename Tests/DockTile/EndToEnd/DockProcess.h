#pragma once

#include "SpawnedChild.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zov::docktile::test {

// A zov-dock process with its standard output and standard error read by the test.
class DockProcess {
public:
    // Environment changes: a value sets the variable, none removes it.
    DockProcess(const std::vector<std::string>& arguments,
                const std::map<std::string, std::optional<std::string>>& environment);
    DockProcess(const DockProcess&) = delete;
    DockProcess& operator=(const DockProcess&) = delete;
    ~DockProcess();

    // The next line of standard output, or none when the process ended or the time ran out.
    std::optional<std::string>
    nextLine(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // Sends the signal and reads until the process has ended. Returns its exit status, or -1 when
    // it did not exit by itself in time. The lines it printed meanwhile come with the next calls
    // of nextLine.
    int stop(int signal);
    // Waits until the process ends by itself; returns its exit status or -1.
    int wait();

    const std::string& standardError() const { return pipes.errors; }

private:
    explicit DockProcess(zov::test::SpawnedChild child);
    int reap(std::chrono::steady_clock::time_point deadline);

    pid_t pid = -1;
    zov::test::ChildPipes pipes;
    std::optional<int> exitStatus;
};

} // namespace zov::docktile::test
