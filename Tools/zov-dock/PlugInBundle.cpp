#include "PlugInBundle.h"

#include "PathComponents.h"
#include "PropertyListFile.h"

namespace zov::dock {

namespace {

using docktile::PropertyList;

std::optional<std::string> fileName(plist_t info, const char* key) {
    auto name = docktile::stringValue(docktile::dictionaryValue(info, key));
    if (!name || name->empty() || name->find('/') != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> applicationIcon(const std::string& plugInBundle) {
    const std::string application = docktile::applicationBundleLocation(plugInBundle);
    const PropertyList info = docktile::readPropertyListFile(application + "/Contents/Info.plist");
    auto icon = fileName(info.get(), "CFBundleIconFile");
    if (!icon) {
        return std::nullopt;
    }
    if (icon->find('.') == std::string::npos) {
        *icon += ".png";
    }
    return application + "/Contents/Resources/" + *icon;
}

} // namespace

std::optional<PlugInBundle> readPlugInBundle(const std::string& location) {
    const PropertyList info = docktile::readPropertyListFile(location + "/Contents/Info.plist");
    const auto principalClass =
        docktile::stringValue(docktile::dictionaryValue(info.get(), "NSPrincipalClass"));
    const auto executable = fileName(info.get(), "CFBundleExecutable");
    if (!principalClass || !executable) {
        return std::nullopt;
    }
    return PlugInBundle{*principalClass, location + "/Contents/MacOS/" + *executable,
                        applicationIcon(location)};
}

} // namespace zov::dock
