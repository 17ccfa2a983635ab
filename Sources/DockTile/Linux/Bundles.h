#pragma once

#include "Bundle.h"

#include <optional>
#include <string>

namespace zov::docktile {

// A bundle is a directory with a readable Contents/Info.plist; its identifier is the string under
// CFBundleIdentifier, when there is one.
std::optional<Bundle> openBundle(const std::string& location);

} // namespace zov::docktile
