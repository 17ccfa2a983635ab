#pragma once

// Text for the functions that take only well-formed UTF-8, made as the runner makes it.

#include "Utf.h"

#include <string>
#include <string_view>

namespace zov::fuzz {

// The bytes with each ill-formed sequence replaced by U+FFFD.
inline std::string wellFormed(std::string_view bytes) {
    return utf16ToUtf8(utf8ToUtf16(bytes));
}

inline bool isWellFormedUtf8(std::string_view bytes) {
    return wellFormed(bytes) == bytes;
}

} // namespace zov::fuzz
