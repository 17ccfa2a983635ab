#include "TestApplication.h"

#include "TestImages.h"

#include <filesystem>

namespace zov::docktile::test {

TestApplication::TestApplication(const std::string& root,
                                 std::optional<std::string> bundleIdentifier)
    : application(root + "/Zov.app"), config(root + "/config") {
    const auto info = dictionary({{"CFBundleIconFile", plist_new_string("AppIcon")}});
    if (bundleIdentifier) {
        plist_dict_set_item(info.get(), "CFBundleIdentifier",
                            plist_new_string(bundleIdentifier->c_str()));
    }
    writePropertyList(application + "/Contents/Info.plist", info.get());
    saveImage(solidImage(64, 64, red), application + "/Contents/Resources/AppIcon.png");
    installPlugInBundle(plugInBundle());
    std::filesystem::create_directories(config);
}

std::string TestApplication::plugInExecutable() const {
    return plugInBundle() + "/Contents/MacOS/libZovDockTile.so";
}

void TestApplication::installPlugInBundle(const std::string& location) {
    const auto info = dictionary({{"NSPrincipalClass", plist_new_string("ZovDockTilePlugIn")},
                                  {"CFBundleExecutable", plist_new_string("libZovDockTile.so")}});
    writePropertyList(location + "/Contents/Info.plist", info.get());
    std::filesystem::create_directories(location + "/Contents/MacOS");
    std::filesystem::copy_file(ZOV_DOCK_TILE_LIBRARY,
                               location + "/Contents/MacOS/libZovDockTile.so");
}

void TestApplication::writePreferences(plist_t root, PlistFormat format) const {
    writePropertyList(config + "/" + identifier + ".plist", root, format);
}

void TestApplication::chooseCustomImage(const std::string& path) const {
    const auto preferences = dictionary({{"appIcon", plist_new_string("custom")},
                                         {"appIconCustomPath", plist_new_string(path.c_str())}});
    writePreferences(preferences.get());
}

} // namespace zov::docktile::test
