#include "LinuxDockTilePlatform.h"

#include "Bundles.h"
#include "ImageFile.h"
#include "OwnBundleLocation.h"

namespace zov::docktile {

std::string LinuxDockTilePlatform::ownBundleLocation() {
    return docktile::ownBundleLocation();
}

std::optional<Bundle> LinuxDockTilePlatform::openBundle(const std::string& location) {
    return docktile::openBundle(location);
}

void LinuxDockTilePlatform::synchronizePreferences(const std::string& applicationID) {
    preferences.synchronize(applicationID);
}

PropertyList LinuxDockTilePlatform::copyAppValue(const std::string& key,
                                                 const std::string& applicationID) {
    return preferences.copyValue(key, applicationID);
}

Image LinuxDockTilePlatform::loadImage(const std::string& path) {
    return loadImageFile(path);
}

std::unique_ptr<Registration> LinuxDockTilePlatform::subscribe(const std::string& name,
                                                               std::function<void()> callback) {
    return notifications.subscribe(name, std::move(callback));
}

} // namespace zov::docktile
