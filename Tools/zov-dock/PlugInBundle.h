#pragma once

#include <optional>
#include <string>

namespace zov::dock {

// What the dock reads from a dock tile plug-in bundle.
struct PlugInBundle {
    std::string principalClass;
    // Contents/MacOS/CFBundleExecutable inside the bundle.
    std::string executable;
    // The application's own icon: the file named by CFBundleIconFile, ".png" added when it has
    // no extension, in Contents/Resources of the application bundle three components above the
    // plug-in bundle. None when the application names no icon.
    std::optional<std::string> applicationIcon;
};

// The plug-in bundle at that location, or none when its Contents/Info.plist lacks a string
// NSPrincipalClass or CFBundleExecutable.
std::optional<PlugInBundle> readPlugInBundle(const std::string& location);

} // namespace zov::dock
