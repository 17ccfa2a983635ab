#pragma once

#include "zov/DockTile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zov::docktile {

// Image files larger than this are not read.
inline constexpr std::size_t maxImageFileBytes = 32 * 1024 * 1024;
// Images that declare more pixels than this are not decoded: the decoder would allocate them in
// full before scaling them down.
inline constexpr std::int64_t maxDecodedPixels = std::int64_t{1} << 25;
// The longest side of a loaded image, enough for the largest tile a dock shows. Larger images are
// decoded at reduced size where the decoder can, and scaled down otherwise.
inline constexpr int maxImageSide = 1024;

// The image in a file, in any format the installed image loaders know, or none when the file is
// not a regular file, is too large, can't be decoded, or can't be decoded safely.
Image loadImageFile(const std::string& path);

// The image that the bytes of an image file hold, as loadImageFile reads it.
Image loadImageData(std::string_view bytes);

} // namespace zov::docktile
