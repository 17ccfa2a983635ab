#include "PropertyList.h"

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
    if (!characters) {
        return std::nullopt;
    }
    return std::string(characters, length);
}

} // namespace zov::docktile
