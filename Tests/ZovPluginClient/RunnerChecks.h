#pragma once

// What the host-side tests check about runner processes from outside.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>

namespace zov::client {

// Waits (at most a minute) until `done` holds.
template <typename Condition> bool eventually(Condition done) {
    using namespace std::chrono_literals;
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
        if (done())
            return true;
    }
    return done();
}

// Whether the process is blocked reading its standard input: the runner
// waiting for its request, with its engine started.
inline bool waitsForItsRequest(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    std::string fd;
    file >> number >> fd;
    return number == 0 && fd == "0x0";
}

inline bool isGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The contents of /proc/PID/NAME.
inline std::string procFile(pid_t pid, const std::string& name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace zov::client
