#pragma once

#include <memory>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <type_traits>

namespace zov::docktile {

struct PropertyListFree {
    void operator()(plist_t node) const { plist_free(node); }
};

// A property-list value owned by its holder; none where there is no value.
using PropertyList = std::unique_ptr<std::remove_pointer_t<plist_t>, PropertyListFree>;

// The value under key when node is a dictionary that has one; it stays owned by node.
plist_t dictionaryValue(plist_t node, const char* key);

// The string that node holds, or none when node is none or not a string.
std::optional<std::string> stringValue(plist_t node);

} // namespace zov::docktile
