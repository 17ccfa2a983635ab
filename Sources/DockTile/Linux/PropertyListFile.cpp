#include "PropertyListFile.h"

#include "PropertyListShape.h"
#include "SafeFile.h"

namespace zov::docktile {

PropertyList parsePropertyList(std::string_view data) {
    if (data.empty() || data.size() > maxPropertyListBytes || !hasSafeShape(data)) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &root);
    return PropertyList(root);
}

PropertyList readPropertyListFile(const std::string& path) {
    const auto contents = readRegularFile(path, maxPropertyListBytes);
    return contents ? parsePropertyList(*contents) : nullptr;
}

} // namespace zov::docktile
