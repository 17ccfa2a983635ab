#pragma once

// Conversion between UTF-8 (the host channel) and UTF-16 (the script engine).
// Neither direction fails: ill-formed input becomes U+FFFD, and U+0000 is kept.

#include <string>
#include <string_view>

namespace zov {

class ByteBuffer;

// Each maximal ill-formed subsequence becomes one U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
// Each unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);
void appendUtf8(ByteBuffer& out, std::u16string_view utf16);

// Whether every byte is ASCII and none is NUL: such text reads the same as
// UTF-8, as Latin-1 and as a C string.
bool isAsciiText(std::string_view bytes);

// How many UTF-16 code units the well-formed UTF-8 text takes.
size_t utf16Length(std::string_view utf8);

} // namespace zov
