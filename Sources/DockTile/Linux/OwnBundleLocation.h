#pragma once

#include <string>

namespace zov::docktile {

// The bundle that holds the code of this library: its file Contents/MacOS/NAME.so with those three
// components removed. Empty when the library's location can't be told.
std::string ownBundleLocation();

} // namespace zov::docktile
