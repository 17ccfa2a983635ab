// The dock tile's image loading on any bytes, in whatever format the installed
// image loaders take them for: an image that loads is no larger than a tile
// needs, and nothing else comes of any input.

#include "FuzzCheck.h"
#include "ImageFile.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zov::docktile;
    const zov::Image image =
        loadImageData(std::string_view(reinterpret_cast<const char*>(data), size));
    if (image) {
        const int width = gdk_pixbuf_get_width(image.get());
        const int height = gdk_pixbuf_get_height(image.get());
        zov::fuzz::check(width > 0 && height > 0 && width <= maxImageSide && height <= maxImageSide,
                         "an image of at most maxImageSide on each side");
    }
    return 0;
}
