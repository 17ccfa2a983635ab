#pragma once

#include <string>
#include <string_view>

namespace zov::dock {

// Replaces the file at path with these contents in one step: readers see the old file or the new
// one, never a part. Returns whether it succeeded.
bool writeFileAtomically(const std::string& path, std::string_view contents);

} // namespace zov::dock
