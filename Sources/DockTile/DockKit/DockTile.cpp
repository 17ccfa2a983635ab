#include "zov/DockTile.h"

namespace zov {

DockTile::~DockTile() = default;

DockTilePlugIn::~DockTilePlugIn() = default;

} // namespace zov
