#pragma once

#include <cstdint>
#include <string_view>

namespace zov::docktile {

// Whether the bytes begin with the PNG signature.
bool hasPngSignature(std::string_view bytes);

// Whether libpng reads the PNG whole, as loading the file in one piece does: every critical
// chunk's checksum, image data that is one zlib stream holding every row of every pass, and the
// chunks up to the end. An image of more than `maxPixels` pixels is refused before any row is
// read. Nothing is written on standard error.
bool readsAsCompletePng(std::string_view bytes, std::int64_t maxPixels);

} // namespace zov::docktile
