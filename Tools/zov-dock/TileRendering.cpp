#include "TileRendering.h"

#include <algorithm>
#include <cmath>

namespace zov::dock {

Rect fitInside(double imageWidth, double imageHeight, const Rect& frame) {
    if (imageWidth <= 0 || imageHeight <= 0 || frame.width <= 0 || frame.height <= 0) {
        return Rect{frame.x + frame.width / 2, frame.y + frame.height / 2, 0, 0};
    }
    const double scale = std::min(frame.width / imageWidth, frame.height / imageHeight);
    const double width = imageWidth * scale;
    const double height = imageHeight * scale;
    return Rect{frame.x + (frame.width - width) / 2, frame.y + (frame.height - height) / 2, width,
                height};
}

void drawImageFitting(GdkPixbuf* canvas, GdkPixbuf* image, const Rect& frame) {
    const int imageWidth = gdk_pixbuf_get_width(image);
    const int imageHeight = gdk_pixbuf_get_height(image);
    const Rect fitted = fitInside(imageWidth, imageHeight, frame);
    // Whole pixels, so that the image fills exactly the pixels it covers.
    const double left = std::round(fitted.x);
    const double top = std::round(fitted.y);
    const double right = std::round(fitted.x + fitted.width);
    const double bottom = std::round(fitted.y + fitted.height);
    const double clipLeft = std::max(left, 0.0);
    const double clipTop = std::max(top, 0.0);
    const double clipRight = std::min(right, static_cast<double>(gdk_pixbuf_get_width(canvas)));
    const double clipBottom = std::min(bottom, static_cast<double>(gdk_pixbuf_get_height(canvas)));
    if (clipRight <= clipLeft || clipBottom <= clipTop) {
        return;
    }
    gdk_pixbuf_composite(
        image, canvas, static_cast<int>(clipLeft), static_cast<int>(clipTop),
        static_cast<int>(clipRight - clipLeft), static_cast<int>(clipBottom - clipTop), left, top,
        (right - left) / imageWidth, (bottom - top) / imageHeight, GDK_INTERP_BILINEAR, 255);
}

Image renderTile(int width, int height, const ImageView* contentView, GdkPixbuf* icon) {
    Image canvas = adoptImage(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height));
    if (!canvas) {
        return nullptr;
    }
    gdk_pixbuf_fill(canvas.get(), 0);
    if (contentView) {
        if (contentView->image) {
            drawImageFitting(canvas.get(), contentView->image.get(), contentView->frame);
        }
    } else if (icon) {
        drawImageFitting(canvas.get(), icon, Rect{0, 0, double(width), double(height)});
    }
    return canvas;
}

} // namespace zov::dock
