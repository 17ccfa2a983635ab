#pragma once

// Conversion between UTF-8 (the host channel) and UTF-16 (the script engine).
// Neither direction fails: ill-formed input becomes U+FFFD, and U+0000 is kept.

#include <string>
#include <string_view>

namespace zov {

// Each maximal ill-formed subsequence becomes one U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
// Each unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace zov
