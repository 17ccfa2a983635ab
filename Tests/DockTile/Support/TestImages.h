#pragma once

#include "zov/DockTile.h"

#include <cstdint>
#include <string>

namespace zov::docktile::test {

// Colours as 0xRRGGBBAA.
inline constexpr std::uint32_t red = 0xFF0000FF;
inline constexpr std::uint32_t green = 0x00FF00FF;
inline constexpr std::uint32_t blue = 0x0000FFFF;

Image solidImage(int width, int height, std::uint32_t rgba);
// Saves in one of GdkPixbuf's writable formats: "png", "jpeg", "bmp", "tiff", "ico".
void saveImage(const Image& image, const std::string& path, const char* format = "png");
std::string encodeImage(const Image& image, const char* format = "png");
// A valid black-and-white PNG of that size, written row by row: a few hundred kilobytes for
// sizes whose pixels would take gigabytes.
void writeHugePng(const std::string& path, int width, int height);

// PNG files built from their parts, so that every chunk's length and checksum is valid whatever
// the chunks hold. The image is 8-bit RGBA, not interlaced.
// The image data before compression: each row its filter type (none), then its pixels.
std::string pngRows(int width, int height, std::uint32_t rgba);
// zlib's compression of the bytes, as a PNG's image data holds them.
std::string zlibStream(const std::string& bytes);
// The signature, the header, one IDAT chunk holding `imageData` as it stands and, with `end`,
// the end chunk.
std::string pngFile(int width, int height, const std::string& imageData, bool end = true);
// An interlaced (Adam7) PNG, as libpng writes it.
std::string encodeInterlacedPng(int width, int height, std::uint32_t rgba);

// The colour of one pixel, as 0xRRGGBBAA.
std::uint32_t pixelAt(GdkPixbuf* image, int x, int y);

struct PixelBounds {
    int left = 0;
    int top = 0;
    int right = 0; // exclusive
    int bottom = 0;
};
// The smallest rectangle that holds every pixel that is not fully transparent.
PixelBounds visibleBounds(GdkPixbuf* image);

} // namespace zov::docktile::test
