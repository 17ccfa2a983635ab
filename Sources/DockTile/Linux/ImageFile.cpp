#include "ImageFile.h"

#include "BmpCheck.h"
#include "GObjectPtr.h"
#include "PngCheck.h"
#include "SafeFile.h"

#include <algorithm>
#include <cmath>

namespace zov::docktile {

namespace {

constexpr std::size_t chunkBytes = 64 * 1024;

struct Decoding {
    bool refused = false;
};

// Runs once the decoder knows the image's declared size and before it allocates the image for
// every decoder that can stop there: a size of zero stops it.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    auto& decoding = *static_cast<Decoding*>(data);
    if (width <= 0 || height <= 0 ||
        std::int64_t{width} * std::int64_t{height} > maxDecodedPixels) {
        decoding.refused = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
        return;
    }
    const double scale = std::min(1.0, double{maxImageSide} / std::max(width, height));
    if (scale < 1.0) {
        gdk_pixbuf_loader_set_size(loader,
                                   std::max(1, static_cast<int>(std::lround(width * scale))),
                                   std::max(1, static_cast<int>(std::lround(height * scale))));
    }
}

} // namespace

Image loadImageFile(const std::string& path) {
    const auto bytes = readRegularFile(path, maxImageFileBytes);
    return bytes ? loadImageData(*bytes) : nullptr;
}

Image loadImageData(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > maxImageFileBytes ||
        (hasBmpSignature(bytes) && !hasSoundBmpHeaders(bytes))) {
        return nullptr;
    }
    const GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
    Decoding decoding;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &decoding);

    // A failed write closes the loader itself; closing it again is an error.
    bool open = true;
    const auto* data = reinterpret_cast<const guchar*>(bytes.data());
    for (std::size_t offset = 0; offset < bytes.size() && !decoding.refused; offset += chunkBytes) {
        const std::size_t count = std::min(chunkBytes, bytes.size() - offset);
        if (!gdk_pixbuf_loader_write(loader.get(), data + offset, count, nullptr)) {
            open = false;
            break;
        }
    }
    const bool complete = open && gdk_pixbuf_loader_close(loader.get(), nullptr);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (!complete || decoding.refused || !pixbuf) {
        return nullptr;
    }
    // The loader's success does not say that a PNG was whole (see PngCheck.cpp); the check
    // comes after it, so that the loader's size limit applies first.
    if (hasPngSignature(bytes) && !readsAsCompletePng(bytes, maxDecodedPixels)) {
        return nullptr;
    }
    return adoptImage(static_cast<GdkPixbuf*>(g_object_ref(pixbuf)));
}

} // namespace zov::docktile
