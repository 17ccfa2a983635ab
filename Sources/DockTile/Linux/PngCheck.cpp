// GdkPixbuf's incremental loader takes PNG files that libpng cannot read whole: it treats a
// failure to inflate the image data as a warning, and a file that ends early as the rows decoded
// so far, and hands back an image whose other rows are whatever the memory held. No option of
// the loader changes that, and loading in one piece would decode an image before its size could
// be refused. So the file is read here with libpng's sequential reader, one row at a time, as a
// one-piece load reads it.

#include "PngCheck.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace zov::docktile {

namespace {

struct Source {
    std::string_view bytes;
    std::size_t offset = 0;
};

void readFromSource(png_structp png, png_bytep out, png_size_t length) {
    auto& source = *static_cast<Source*>(png_get_io_ptr(png));
    if (length > source.bytes.size() - source.offset) {
        png_error(png, "Read Error");
    }
    std::memcpy(out, source.bytes.data() + source.offset, length);
    source.offset += length;
}

[[noreturn]] void leaveOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// The plug-in writes nothing on standard error, where libpng writes its warnings by default.
void ignoreWarning(png_structp, png_const_charp) {}

// Reads the image's rows and the chunks after them. libpng leaves by a long jump back into this
// function on an error, so nothing here has a destructor; the row buffer belongs to the caller.
bool readWhole(png_structp png, png_infop info, Source& source, std::int64_t maxPixels,
               std::vector<png_byte>& row) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, &source, readFromSource);
    png_read_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (std::int64_t{png_get_image_width(png, info)} * std::int64_t{height} > maxPixels) {
        return false;
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    row.resize(png_get_rowbytes(png, info));
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, row.data(), nullptr);
        }
    }
    png_read_end(png, nullptr);
    return true;
}

} // namespace

bool hasPngSignature(std::string_view bytes) {
    return bytes.size() >= 8 &&
           png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) == 0;
}

bool readsAsCompletePng(std::string_view bytes, std::int64_t maxPixels) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, leaveOnError, ignoreWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    Source source{bytes};
    std::vector<png_byte> row;
    const bool complete = info != nullptr && readWhole(png, info, source, maxPixels, row);
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    return complete;
}

} // namespace zov::docktile
