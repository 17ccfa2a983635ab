// The dock tile's reading of property lists (preferences, bundle
// descriptions) on any bytes: the shape check, the parser, then the reads the
// dock tile makes of a dictionary. Whatever the parser is handed keeps within
// what the shape check promises: containers nested at most
// maxPropertyListDepth deep and, once shared objects are expanded, at most
// maxPropertyListNodes values.

#include "FuzzCheck.h"
#include "PropertyList.h"
#include "PropertyListFile.h"
#include "PropertyListShape.h"

#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace zov::docktile;
using zov::fuzz::check;

// The members of an array or a dictionary.
std::vector<plist_t> membersOf(plist_t node) {
    std::vector<plist_t> members;
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            members.push_back(plist_array_get_item(node, i));
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        // Values only: libplist asserts that a key holds no NUL when it hands
        // one out, which a binary list can break. The dock tile never asks
        // for a dictionary's keys, only for the values of keys it knows.
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, nullptr, &value);
            if (!value)
                break;
            members.push_back(value);
        }
        std::free(iterator);
    }
    return members;
}

// What the dock tile and zov-dock read of a preferences file or a bundle's
// description: the string under a key it knows, and a copy of the value.
void readAsTheDockTileDoes(plist_t root) {
    for (const char* key : {"appIcon", "appIconCustomPath", "CFBundleExecutable",
                            "NSPrincipalClass", "CFBundleIconFile", ""}) {
        const plist_t value = dictionaryValue(root, key);
        stringValue(value);
        const PropertyList copy(value ? plist_copy(value) : nullptr);
        stringValue(copy.get());
    }
}

// Walks the parsed list: how deep its containers nest and how many values it holds.
void walk(plist_t root) {
    std::vector<std::pair<plist_t, size_t>> pending{{root, 1}};
    uint64_t nodes = 0;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        check(++nodes <= maxPropertyListNodes, "at most maxPropertyListNodes values");
        stringValue(node);
        const std::vector<plist_t> members = membersOf(node);
        const plist_type type = plist_get_node_type(node);
        if (type == PLIST_ARRAY || type == PLIST_DICT)
            check(depth <= maxPropertyListDepth, "containers at most maxPropertyListDepth deep");
        for (plist_t member : members)
            pending.emplace_back(member, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool safe = hasSafeShape(bytes);
    const PropertyList list = parsePropertyList(bytes);
    if (list) {
        check(safe, "only data of a safe shape reaches the parser");
        readAsTheDockTileDoes(list.get());
        walk(list.get());
    }
    return 0;
}
