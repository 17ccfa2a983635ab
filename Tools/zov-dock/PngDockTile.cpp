#include "PngDockTile.h"

#include "AtomicFile.h"
#include "TileRendering.h"

#include <cstdio>

namespace zov::dock {

PngDockTile::PngDockTile(int tileWidth, int tileHeight, Image icon, std::string outputFile)
    : width(tileWidth), height(tileHeight), applicationIcon(std::move(icon)),
      output(std::move(outputFile)) {}

Size PngDockTile::size() const {
    return Size{double(width), double(height)};
}

void PngDockTile::setContentView(std::shared_ptr<const ImageView> view) {
    contentView = std::move(view);
}

void PngDockTile::display() {
    const Image appearance = renderTile(width, height, contentView.get(), applicationIcon.get());
    gchar* png = nullptr;
    gsize length = 0;
    const bool encoded = appearance && gdk_pixbuf_save_to_buffer(appearance.get(), &png, &length,
                                                                 "png", nullptr, nullptr);
    const bool written = encoded && writeFileAtomically(output, std::string_view(png, length));
    g_free(png);
    if (!written) {
        std::fprintf(stderr, "zov-dock: cannot write %s\n", output.c_str());
        return;
    }
    std::printf("displayed %s\n", output.c_str());
    std::fflush(stdout);
}

} // namespace zov::dock
