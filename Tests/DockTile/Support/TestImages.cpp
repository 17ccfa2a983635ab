#include "TestImages.h"

#include "TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <png.h>
#include <stdexcept>
#include <vector>
#include <zlib.h>

namespace zov::docktile::test {

Image solidImage(int width, int height, std::uint32_t rgba) {
    Image image = adoptImage(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height));
    gdk_pixbuf_fill(image.get(), rgba);
    return image;
}

namespace {

// The same pixels without the alpha channel, for formats that have none.
Image withoutAlpha(const Image& image) {
    const int width = gdk_pixbuf_get_width(image.get());
    const int height = gdk_pixbuf_get_height(image.get());
    Image opaque = adoptImage(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
    for (int y = 0; y < height; ++y) {
        const guchar* from =
            gdk_pixbuf_read_pixels(image.get()) + y * gdk_pixbuf_get_rowstride(image.get());
        guchar* to =
            gdk_pixbuf_get_pixels(opaque.get()) + y * gdk_pixbuf_get_rowstride(opaque.get());
        for (int x = 0; x < width; ++x) {
            std::copy_n(from + 4 * x, 3, to + 3 * x);
        }
    }
    return opaque;
}

} // namespace

std::string encodeImage(const Image& image, const char* format) {
    const std::string_view name(format);
    const Image source = name == "jpeg" || name == "bmp" ? withoutAlpha(image) : image;
    gchar* data = nullptr;
    gsize length = 0;
    if (!gdk_pixbuf_save_to_buffer(source.get(), &data, &length, format, nullptr, nullptr)) {
        throw std::runtime_error(std::string("cannot encode ") + format);
    }
    std::string bytes(data, length);
    g_free(data);
    return bytes;
}

void saveImage(const Image& image, const std::string& path, const char* format) {
    writeFile(path, encodeImage(image, format));
}

void writeHugePng(const std::string& path, int width, int height) {
    // Created before the error handler is set up, so that no destructor is skipped.
    std::vector<png_byte> row(static_cast<std::size_t>(width + 7) / 8, 0);
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!file || !png || !info || setjmp(png_jmpbuf(png))) {
        throw std::runtime_error("cannot write " + path);
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::string pngRows(int width, int height, std::uint32_t rgba) {
    std::string pixel;
    for (int shift = 24; shift >= 0; shift -= 8) {
        pixel.push_back(static_cast<char>((rgba >> shift) & 0xFF));
    }
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back('\0');
        for (int x = 0; x < width; ++x) {
            rows += pixel;
        }
    }
    return rows;
}

std::string zlibStream(const std::string& bytes) {
    uLongf length = compressBound(bytes.size());
    std::string stream(length, '\0');
    if (compress(reinterpret_cast<Bytef*>(stream.data()), &length,
                 reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()) != Z_OK) {
        throw std::runtime_error("cannot compress");
    }
    stream.resize(length);
    return stream;
}

namespace {

std::string bigEndian(std::uint32_t value) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    return out;
}

std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string typeAndData = type + data;
    const auto checksum = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), typeAndData.size()));
    return bigEndian(static_cast<std::uint32_t>(data.size())) + typeAndData + bigEndian(checksum);
}

} // namespace

std::string pngFile(int width, int height, const std::string& imageData, bool end) {
    // 8 bits a sample, RGBA, deflate, adaptive filtering, not interlaced.
    const std::string header = bigEndian(static_cast<std::uint32_t>(width)) +
                               bigEndian(static_cast<std::uint32_t>(height)) +
                               std::string("\x08\x06\x00\x00\x00", 5);
    std::string png = "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) + pngChunk("IDAT", imageData);
    if (end) {
        png += pngChunk("IEND", "");
    }
    return png;
}

std::string encodeInterlacedPng(int width, int height, std::uint32_t rgba) {
    // Created before the error handler is set up, so that no destructor is skipped.
    const std::string rows = pngRows(width, height, rgba);
    std::vector<png_bytep> rowPointers;
    for (int y = 0; y < height; ++y) {
        rowPointers.push_back(
            reinterpret_cast<png_bytep>(const_cast<char*>(rows.data())) +
            static_cast<std::size_t>(y) * (1 + 4 * static_cast<std::size_t>(width)) + 1);
    }
    std::string encoded;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        throw std::runtime_error("cannot encode an interlaced PNG");
    }
    png_set_write_fn(
        png, &encoded,
        [](png_structp writer, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(writer))
                ->append(reinterpret_cast<const char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return encoded;
}

std::uint32_t pixelAt(GdkPixbuf* image, int x, int y) {
    const int channels = gdk_pixbuf_get_n_channels(image);
    const guchar* pixel =
        gdk_pixbuf_read_pixels(image) + y * gdk_pixbuf_get_rowstride(image) + x * channels;
    const std::uint32_t alpha = channels == 4 ? pixel[3] : 0xFF;
    return (std::uint32_t{pixel[0]} << 24) | (std::uint32_t{pixel[1]} << 16) |
           (std::uint32_t{pixel[2]} << 8) | alpha;
}

PixelBounds visibleBounds(GdkPixbuf* image) {
    const int width = gdk_pixbuf_get_width(image);
    const int height = gdk_pixbuf_get_height(image);
    PixelBounds bounds{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((pixelAt(image, x, y) & 0xFF) != 0) {
                bounds.left = std::min(bounds.left, x);
                bounds.top = std::min(bounds.top, y);
                bounds.right = std::max(bounds.right, x + 1);
                bounds.bottom = std::max(bounds.bottom, y + 1);
            }
        }
    }
    return bounds;
}

} // namespace zov::docktile::test
