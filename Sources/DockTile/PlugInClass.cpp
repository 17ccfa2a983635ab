// Registers the plug-in's principal class when the dock loads the library.
#include "LinuxDockTilePlatform.h"
#include "ZovDockTilePlugIn.h"

namespace {

std::shared_ptr<zov::Object> allocatePlugIn() {
    return std::make_shared<zov::docktile::ZovDockTilePlugIn>(
        std::make_shared<zov::docktile::LinuxDockTilePlatform>());
}

const zov::ClassRegistration plugInClass("ZovDockTilePlugIn", allocatePlugIn);

} // namespace
