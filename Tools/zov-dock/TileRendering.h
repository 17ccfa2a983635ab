#pragma once

#include "zov/DockTile.h"

namespace zov::dock {

// The largest rectangle with the aspect ratio of an image of that size that fits inside the
// frame, centred in it.
Rect fitInside(double imageWidth, double imageHeight, const Rect& frame);

// Draws the image over the canvas, scaled proportionally to fit the frame and centred, clipped to
// the canvas.
void drawImageFitting(GdkPixbuf* canvas, GdkPixbuf* image, const Rect& frame);

// The appearance of a tile of that size in pixels: the view's image as the view draws it, or the
// icon fitted to the tile when there is no view, on a transparent background.
Image renderTile(int width, int height, const ImageView* contentView, GdkPixbuf* icon);

} // namespace zov::dock
