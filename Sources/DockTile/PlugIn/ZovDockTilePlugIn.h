#pragma once

#include "DockTilePlatform.h"
#include "zov/DockTile.h"

#include <memory>
#include <optional>

namespace zov::docktile {

// Shows, as the application's dock tile, the image file that the user chose: when the
// application's preference appIcon is "custom", the image at appIconCustomPath; otherwise the
// application's own icon. Redraws whenever the application posts its icon-changed notification.
//
// Everything runs on the dock's main thread; notification callbacks arrive on the main queue and
// hold the plug-in only weakly.
class ZovDockTilePlugIn final : public Object,
                                public DockTilePlugIn,
                                public std::enable_shared_from_this<ZovDockTilePlugIn> {
public:
    explicit ZovDockTilePlugIn(std::shared_ptr<DockTilePlatform> platform);

    void setDockTile(std::shared_ptr<DockTile> newTile) override;
    Object& init() override;

private:
    Image selectedImage();
    void refreshTile(DockTile& target);

    std::shared_ptr<DockTile> tile;
    std::unique_ptr<Registration> observer;
    std::optional<Bundle> app;
    const std::shared_ptr<DockTilePlatform> platform;
};

} // namespace zov::docktile
