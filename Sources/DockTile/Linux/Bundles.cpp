#include "Bundles.h"

#include "PropertyListFile.h"
#include "SafeFile.h"

#include <filesystem>
#include <system_error>

namespace zov::docktile {

std::optional<Bundle> openBundle(const std::string& location) {
    std::error_code error;
    if (location.empty() || !std::filesystem::is_directory(location, error)) {
        return std::nullopt;
    }
    const auto contents = readRegularFile(location + "/Contents/Info.plist", maxPropertyListBytes);
    if (!contents) {
        return std::nullopt;
    }
    const PropertyList info = parsePropertyList(*contents);
    return Bundle{location, stringValue(dictionaryValue(info.get(), "CFBundleIdentifier"))};
}

} // namespace zov::docktile
