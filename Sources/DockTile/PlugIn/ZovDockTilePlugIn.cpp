#include "ZovDockTilePlugIn.h"

#include "PathComponents.h"

namespace zov::docktile {

namespace {

constexpr const char* iconChangedSuffix = ".appIconChanged";

} // namespace

ZovDockTilePlugIn::ZovDockTilePlugIn(std::shared_ptr<DockTilePlatform> platformOperations)
    : platform(std::move(platformOperations)) {}

// The plug-in bundle sits in the application bundle's Contents/PlugIns directory. Nothing checks
// that the bundle found there is an application, or the right one; it is looked up once.
Object& ZovDockTilePlugIn::init() {
    app = platform->openBundle(applicationBundleLocation(platform->ownBundleLocation()));
    return *this;
}

void ZovDockTilePlugIn::setDockTile(std::shared_ptr<DockTile> newTile) {
    tile = std::move(newTile);
    observer.reset();
    if (!tile) {
        return;
    }
    // Without the application's identifier there are neither preferences nor notifications to
    // follow: the tile keeps whatever it shows.
    if (!app || !app->identifier) {
        return;
    }
    observer =
        platform->subscribe(*app->identifier + iconChangedSuffix, [plugIn = weak_from_this()] {
            const auto self = plugIn.lock();
            if (!self) {
                return;
            }
            if (const auto current = self->tile) {
                self->refreshTile(*current);
            }
        });
    const auto current = tile;
    refreshTile(*current);
}

void ZovDockTilePlugIn::refreshTile(DockTile& target) {
    if (auto image = selectedImage()) {
        const Size size = target.size();
        target.setContentView(std::make_shared<const ImageView>(
            ImageView{Rect{0, 0, size.width, size.height}, std::move(image),
                      ImageScaling::proportionallyUpOrDown}));
    } else {
        target.setContentView(nullptr);
    }
    target.display();
}

// Every missing or unusable value gives none, so that the tile shows the application's own icon.
Image ZovDockTilePlugIn::selectedImage() {
    if (!app || !app->identifier) {
        return nullptr;
    }
    const std::string& applicationID = *app->identifier;
    platform->synchronizePreferences(applicationID);
    if (stringValue(platform->copyAppValue("appIcon", applicationID).get()) != "custom") {
        return nullptr;
    }
    const auto path = stringValue(platform->copyAppValue("appIconCustomPath", applicationID).get());
    return path ? platform->loadImage(*path) : nullptr;
}

} // namespace zov::docktile
