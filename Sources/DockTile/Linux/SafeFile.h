#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zov::docktile {

// The contents of a regular file of at most maxBytes bytes, or none. Devices, pipes and
// directories are refused without being read, so that a hostile path can never block the caller.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes);

} // namespace zov::docktile
