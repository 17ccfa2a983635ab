#pragma once

#include <string>

namespace zov::docktile {

// The location with its last path component removed: "/a/b.app/Contents/" gives "/a/b.app".
// The root stays the root; a single relative component gives the empty location.
std::string deletingLastPathComponent(const std::string& location);

// The location with its last `count` path components removed, one after the other.
std::string deletingLastPathComponents(std::string location, int count);

// The application bundle that carries a plug-in bundle: the platform places plug-ins in the
// application bundle's Contents/PlugIns directory, three path components below it.
inline std::string applicationBundleLocation(const std::string& plugInBundle) {
    return deletingLastPathComponents(plugInBundle, 3);
}

} // namespace zov::docktile
