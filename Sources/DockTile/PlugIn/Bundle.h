#pragma once

#include <optional>
#include <string>

namespace zov::docktile {

// A bundle as the plug-in reads it: where it is, and the identifier its description gives.
struct Bundle {
    std::string location;
    std::optional<std::string> identifier;
};

} // namespace zov::docktile
