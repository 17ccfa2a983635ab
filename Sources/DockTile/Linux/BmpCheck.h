#pragma once

#include <string_view>

namespace zov::docktile {

// Whether the bytes begin as a BMP file does ("BM").
bool hasBmpSignature(std::string_view bytes);

// Whether a BMP file's information header has one of the sizes that its versions define. The
// image loader takes the size as given and allocates it before it reads the header: a file of
// a few bytes made it ask for 4 GiB.
bool hasKnownBmpHeader(std::string_view bytes);

} // namespace zov::docktile
