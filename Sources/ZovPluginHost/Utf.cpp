#include "Utf.h"

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
Output convertInPieces(Input input, size_t expansion, Convert convert) {
    Output output;
    // Enough for the usual case (one output unit per input unit) without regrowth.
    output.reserve(input.size() + (expansion - 1) * std::min(input.size(), pieceSize));
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

} // namespace zov
