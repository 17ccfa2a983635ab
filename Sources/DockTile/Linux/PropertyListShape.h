#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zov::docktile {

// Bounds on what a property list may expand to once parsed. Real preferences and bundle
// descriptions stay far below both.
inline constexpr std::size_t maxPropertyListDepth = 256;
inline constexpr std::uint64_t maxPropertyListNodes = 1u << 20;

// Whether data can be handed to the property-list parser without exhausting the stack or memory:
// containers nested at most maxPropertyListDepth deep and, for binary data, no cycles and at most
// maxPropertyListNodes values once shared objects are expanded. Data that is malformed in other
// ways is left for the parser to reject.
bool hasSafeShape(std::string_view data);

} // namespace zov::docktile
