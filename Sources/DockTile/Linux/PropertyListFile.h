#pragma once

#include "PropertyList.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zov::docktile {

// Property lists that a dock reads are small: preferences and bundle descriptions.
inline constexpr std::size_t maxPropertyListBytes = 4 * 1024 * 1024;

// Parses XML or binary property-list data; malformed or hostile data (nesting deeper than any real
// property list, shared or cyclic objects that would expand without bound) gives none.
PropertyList parsePropertyList(std::string_view data);

// The property list in a file, or none when the file is missing, unreadable or malformed.
PropertyList readPropertyListFile(const std::string& path);

} // namespace zov::docktile
