// The platform operations that the dock tile plug-in's logic relies on, and nothing more.
#pragma once

#include "Bundle.h"
#include "PropertyList.h"
#include "Registration.h"
#include "zov/DockTile.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zov::docktile {

class DockTilePlatform {
public:
    virtual ~DockTilePlatform() = default;

    // The location of the bundle that contains the plug-in's code.
    virtual std::string ownBundleLocation() = 0;
    // The bundle at that location, or none when it names no usable bundle directory.
    virtual std::optional<Bundle> openBundle(const std::string& location) = 0;
    // Brings this process's view of the application's preferences up to date with what is stored.
    virtual void synchronizePreferences(const std::string& applicationID) = 0;
    // The stored value, with its property-list type, or none.
    virtual PropertyList copyAppValue(const std::string& key, const std::string& applicationID) = 0;
    // The image in that file, or none when it can't be read as an image.
    virtual Image loadImage(const std::string& path) = 0;
    // From now on runs the callback on the main queue once for every distributed notification of
    // that name that any process posts.
    virtual std::unique_ptr<Registration> subscribe(const std::string& name,
                                                    std::function<void()> callback) = 0;
};

} // namespace zov::docktile
