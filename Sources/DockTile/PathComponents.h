#pragma once

#include <string>

namespace zov::docktile {

// The location with its last path component removed: "/a/b.app/Contents/" gives "/a/b.app".
// The root stays the root; a single relative component gives the empty location.
std::string deletingLastPathComponent(const std::string& location);

} // namespace zov::docktile
