#pragma once

#include "DistributedNotifications.h"
#include "DockTilePlatform.h"
#include "Preferences.h"

namespace zov::docktile {

// The platform operations on Linux: bundles as directories with property lists, preferences as
// property-list files, images through GdkPixbuf and notifications through the session bus.
class LinuxDockTilePlatform final : public DockTilePlatform {
public:
    std::string ownBundleLocation() override;
    std::optional<Bundle> openBundle(const std::string& location) override;
    void synchronizePreferences(const std::string& applicationID) override;
    PropertyList copyAppValue(const std::string& key, const std::string& applicationID) override;
    Image loadImage(const std::string& path) override;
    std::unique_ptr<Registration> subscribe(const std::string& name,
                                            std::function<void()> callback) override;

private:
    Preferences preferences;
    DistributedNotificationCenter notifications;
};

} // namespace zov::docktile
