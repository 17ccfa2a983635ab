#pragma once

// What a step of the confinement reports when it fails.

#include <cstring>
#include <optional>
#include <string>

namespace zov {

// None when the step is done; otherwise the step's name and the reason, as in
// "Landlock: Operation not permitted".
using StepFailure = std::optional<std::string>;

inline std::string describe(const char* step, int error) {
    return std::string(step) + ": " + std::strerror(error);
}

} // namespace zov
