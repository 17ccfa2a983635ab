#pragma once

// A program started by a test, its standard output and error on pipes that the test reads.

#include "ChildPipes.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zov::test {

struct SpawnedChild {
    pid_t pid = -1;
    ChildPipes pipes;

    // Waits for the child to end; its wait status.
    int wait() const;
};

// Starts `arguments` (the program first) with `environment` (none: this process's), its standard
// input a copy of `input` (none: /dev/null), and its standard output non-blocking when
// `nonBlockingOutput` says so. Throws std::runtime_error when it cannot start.
SpawnedChild spawnChild(const std::vector<std::string>& arguments,
                        const std::optional<std::vector<std::string>>& environment = std::nullopt,
                        std::optional<int> input = std::nullopt, bool nonBlockingOutput = false);

} // namespace zov::test
