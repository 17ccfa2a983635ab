#include "Utf.h"

#include "ByteBuffer.h"
#include "Words.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace zov {

namespace {

constexpr UChar32 replacementCharacter = 0xFFFD;

// Long texts are converted in pieces: ICU takes int32_t lengths, and a small
// piece keeps the output's scratch space in the cache. A cut never splits a
// character.
constexpr size_t pieceSize = size_t{1} << 16;

size_t pieceLength(std::string_view utf8) {
    if (utf8.size() <= pieceSize)
        return utf8.size();
    size_t cut = pieceSize;
    // A character has at most three continuation bytes (10xxxxxx) after its lead.
    for (int i = 0; i < 3 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80; ++i)
        --cut;
    return cut;
}

size_t pieceLength(std::u16string_view utf16) {
    if (utf16.size() <= pieceSize)
        return utf16.size();
    return U16_IS_LEAD(utf16[pieceSize - 1]) ? pieceSize - 1 : pieceSize;
}

void check(UErrorCode status) {
    if (status == U_MEMORY_ALLOCATION_ERROR)
        throw std::bad_alloc();
    if (U_FAILURE(status))
        throw std::runtime_error(std::string("Text conversion failed: ") + u_errorName(status));
}

// Appends the conversion of `input`, piece by piece, to `output`. `expansion`
// bounds the output units per input unit; `convert` is the ICU call.
template <typename Output, typename Input, typename Convert>
void convertInPieces(Output& output, Input input, size_t expansion, Convert convert) {
    // Enough for the usual case (one output unit per input unit) without regrowth.
    output.reserve(output.size() + input.size() +
                   (expansion - 1) * std::min(input.size(), pieceSize));
    while (!input.empty()) {
        const size_t length = pieceLength(input);
        const size_t start = output.size();
        output.resize(start + length * expansion);
        int32_t written = 0;
        UErrorCode status = U_ZERO_ERROR;
        convert(output.data() + start, static_cast<int32_t>(length * expansion), &written,
                input.data(), static_cast<int32_t>(length), replacementCharacter, nullptr, &status);
        check(status);
        output.resize(start + static_cast<size_t>(written));
        input.remove_prefix(length);
    }
}

template <typename Output, typename Input, typename Convert>
Output convertInPieces(Input input, size_t expansion, Convert convert) {
    Output output;
    convertInPieces(output, input, expansion, convert);
    return output;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    // One UTF-16 code unit at most for each UTF-8 byte.
    return convertInPieces<std::u16string>(utf8, 1, u_strFromUTF8WithSub);
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    // Three UTF-8 bytes at most for each UTF-16 code unit.
    return convertInPieces<std::string>(utf16, 3, u_strToUTF8WithSub);
}

void appendUtf8(ByteBuffer& out, std::u16string_view utf16) {
    convertInPieces(out, utf16, 3, u_strToUTF8WithSub);
}

bool isAsciiText(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    for (; end - p >= 8; p += 8) {
        const uint64_t word = words::load(p);
        if ((word & words::highBits) || words::hasZeroByte(word))
            return false;
    }
    for (; p < end; ++p) {
        if (*p == '\0' || (static_cast<unsigned char>(*p) & 0x80))
            return false;
    }
    return true;
}

size_t utf16Length(std::string_view utf8) {
    // Every byte but a continuation byte (10xxxxxx) starts a character, and
    // a four-byte character (11110xxx) takes two code units.
    const auto count = [](uint64_t word) {
        const uint64_t continuation = word & ~(word << 1) & words::highBits;
        const uint64_t fourByteLead =
            word & (word << 1) & (word << 2) & (word << 3) & ~(word << 4) & words::highBits;
        return 8 - words::countHighBits(continuation) + words::countHighBits(fourByteLead);
    };
    size_t units = 0;
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    for (; end - p >= 8; p += 8)
        units += static_cast<size_t>(count(words::load(p)));
    for (; p < end; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        units += (byte & 0xC0) != 0x80;
        units += (byte & 0xF8) == 0xF0;
    }
    return units;
}

} // namespace zov
