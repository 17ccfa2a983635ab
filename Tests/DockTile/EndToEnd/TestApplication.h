#pragma once

#include "TestFiles.h"

#include <optional>
#include <string>

namespace zov::docktile::test {

// An application bundle in a directory of the test's, with the built plug-in bundle inside it,
// its own icon (red) and a directory for its preferences:
//   ROOT/Zov.app/Contents/Info.plist
//   ROOT/Zov.app/Contents/Resources/AppIcon.png
//   ROOT/Zov.app/Contents/PlugIns/ZovDockTile.docktileplugin/Contents/{Info.plist,MacOS/...}
//   ROOT/config/com.example.Zov.plist
class TestApplication {
public:
    static constexpr const char* identifier = "com.example.Zov";
    static constexpr const char* iconChanged = "com.example.Zov.appIconChanged";

    // Without an identifier, Info.plist has no CFBundleIdentifier.
    explicit TestApplication(const std::string& root,
                             std::optional<std::string> bundleIdentifier = identifier);

    std::string plugInBundle() const { return application + "/Contents/PlugIns/" + plugInName; }
    std::string plugInExecutable() const;
    const std::string& configHome() const { return config; }

    void writePreferences(plist_t root, PlistFormat format = PlistFormat::xml) const;
    // appIcon "custom" and appIconCustomPath the given path.
    void chooseCustomImage(const std::string& path) const;

    static constexpr const char* plugInName = "ZovDockTile.docktileplugin";
    // Copies the built plug-in into a plug-in bundle at that location.
    static void installPlugInBundle(const std::string& location);

private:
    std::string application;
    std::string config;
};

} // namespace zov::docktile::test
