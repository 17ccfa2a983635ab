// What the dock hands to a dock tile plug-in, and what a plug-in hands back: the tile, the image
// view that becomes the tile's content, and the plug-in protocol itself.
#pragma once

#include "zov/ClassRegistry.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <memory>

namespace zov {

// Points; on this platform one point is one pixel.
struct Size {
    double width = 0;
    double height = 0;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// A decoded image, shared and never modified once loaded.
using Image = std::shared_ptr<GdkPixbuf>;

// Takes over the caller's reference to a pixbuf; none stays none.
inline Image adoptImage(GdkPixbuf* pixbuf) {
    return pixbuf ? Image(pixbuf, g_object_unref) : nullptr;
}

// How an image view fits its image into its frame. The numbering is the platform's; tiles use only
// this mode: scaled up or down to the largest size that fits the frame, keeping the aspect ratio,
// centred.
enum class ImageScaling { proportionallyUpOrDown = 3 };

// A view that draws one image inside its frame.
struct ImageView {
    Rect frame;
    Image image;
    ImageScaling imageScaling;
};

// The dock's tile for one application.
class ZOV_RUNTIME_API DockTile {
public:
    virtual ~DockTile();

    virtual Size size() const = 0;
    // None returns the tile to its default appearance, the application's own icon.
    virtual void setContentView(std::shared_ptr<const ImageView> view) = 0;
    // Makes the dock redraw the tile.
    virtual void display() = 0;
};

// The protocol that the principal class of a dock tile plug-in adopts.
class ZOV_RUNTIME_API DockTilePlugIn {
public:
    virtual ~DockTilePlugIn();

    // Hands the plug-in the tile it draws into; none detaches it.
    virtual void setDockTile(std::shared_ptr<DockTile> tile) = 0;
};

} // namespace zov
