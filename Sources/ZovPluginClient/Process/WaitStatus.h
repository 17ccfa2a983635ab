#pragma once

#include <string>

namespace zov::client {

// How a process ended, in words: "exit status 1", "signal Killed".
std::string describeWaitStatus(int status);

// What is wrong when a runner that wrote a result (expected status 0) or an error (1) ended with
// `status`; empty when nothing is, or when the status could not be learnt (-1).
std::string exitProblem(int status, int expectedStatus);

} // namespace zov::client
