#pragma once

// What a child process writes on its standard output and error, read from both pipes as data
// arrives on either, so that neither fills up while the other is awaited.

#include "UniqueFd.h"

#include <chrono>
#include <optional>
#include <string>

namespace zov::test {

class ChildPipes {
public:
    // The read ends of the child's standard output and error.
    ChildPipes(UniqueFd outputEnd, UniqueFd errorsEnd);

    // Waits until some data arrives, either pipe ends or the deadline passes, and takes what has
    // arrived. False once both pipes have ended.
    bool pump(std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
    // Reads both pipes until both have ended.
    void readToEnd();
    // Stops reading standard output: the child's writes to it fail from now on.
    void closeOutput() { outputEnd_.reset(); }

    std::string output; // what has arrived on standard output
    std::string errors; // what has arrived on standard error

private:
    UniqueFd outputEnd_;
    UniqueFd errorsEnd_;
};

} // namespace zov::test
