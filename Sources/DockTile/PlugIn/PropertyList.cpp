#include "PropertyList.h"

#include <cstring>

namespace zov::docktile {

plist_t dictionaryValue(plist_t node, const char* key) {
    if (!node || plist_get_node_type(node) != PLIST_DICT) {
        return nullptr;
    }
    return plist_dict_get_item(node, key);
}

std::optional<std::string> stringValue(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    uint64_t length = 0;
    const char* characters = plist_get_string_ptr(node, &length);
    // A string with a NUL in it is no text the dock tile uses; and a copy of the node
    // (plist_copy) keeps the length but holds the characters only up to the NUL.
    if (!characters || ::strnlen(characters, length) != length) {
        return std::nullopt;
    }
    return std::string(characters, length);
}

} // namespace zov::docktile
