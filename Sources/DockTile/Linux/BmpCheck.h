#pragma once

#include <string_view>

namespace zov::docktile {

// Whether the bytes begin as a BMP file does ("BM").
bool hasBmpSignature(std::string_view bytes);

// Whether a BMP file's headers hold what the image loader takes as given and allocates before it
// reads on: an information header of one of the sizes that the format's versions define, and
// pixels that start within the file. Files of a few bytes made it ask for 4 GiB either way.
bool hasSoundBmpHeaders(std::string_view bytes);

} // namespace zov::docktile
