#include "BmpCheck.h"

#include <algorithm>
#include <cstdint>

namespace zov::docktile {

namespace {

// In the file header, where the pixels start; after it, the information header's size. Both
// little-endian.
constexpr std::size_t pixelsOffsetOffset = 10;
constexpr std::size_t headerSizeOffset = 14;
// The information headers of the format's versions: OS/2 1.x (12), OS/2 2.x (16 or 64), Windows
// 3.x (40), its extensions with colour masks (52, 56), and versions 4 (108) and 5 (124).
constexpr std::uint32_t knownHeaderSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};

} // namespace

bool hasBmpSignature(std::string_view bytes) {
    return bytes.starts_with("BM");
}

bool hasSoundBmpHeaders(std::string_view bytes) {
    if (bytes.size() < headerSizeOffset + 4)
        return false;
    const auto word = [&](std::size_t offset) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
        return value;
    };
    const std::uint32_t headerSize = word(headerSizeOffset);
    return std::find(std::begin(knownHeaderSizes), std::end(knownHeaderSizes), headerSize) !=
               std::end(knownHeaderSizes) &&
           word(pixelsOffsetOffset) <= bytes.size();
}

} // namespace zov::docktile
