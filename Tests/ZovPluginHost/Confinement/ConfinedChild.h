#pragma once

// Runs test code in a child process that has prepared its engine, created a
// context and entered the sandbox exactly as the runner does, and hands back
// what the child wrote.

#include "Engine.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace zov::test {

struct ChildRun {
    std::string output; // everything the child wrote on its standard output
    std::string errors; // everything it wrote on its standard error
    int waitStatus = -1;

    // Whether the child ended by itself with status 0.
    bool exitedCleanly() const;
};

// For test failures: how the child ended and what it wrote.
std::ostream& operator<<(std::ostream& stream, const ChildRun& run);

using ContextStep = std::function<void(engine::Context&)>;

// Forks a child whose standard output and error are pipes to this process and
// whose standard input is empty, runs `body` in it and ends it with status 0.
ChildRun runInChild(const std::function<void()>& body);

// Runs in a child (as runInChild does) that runs `beforeSandbox` on its fresh
// context, enters the sandbox and runs `body`. A failure to enter the sandbox
// ends it with status 3 after writing the error.
ChildRun runConfined(const ContextStep& body, const ContextStep& beforeSandbox = {});

// Runs in a child (as runInChild does) that runs `body` on a fresh context,
// unconfined and without the runner's preparation of the engine, as a plain
// use of the engine would.
ChildRun runUnconfined(const ContextStep& body);

// In a child: writes the text on standard output, the only way out of the
// sandbox.
void say(std::string_view text);

// In a child: the string form of the script's value, or "threw: " and the
// exception's string form.
std::string evaluateToString(engine::Context& context, std::string_view script);

} // namespace zov::test
