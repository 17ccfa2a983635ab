// The runner's text conversions, both ways, on any bytes: UTF-8 from the host
// into the engine's UTF-16 and back. Each agrees with ICU converting the whole
// text at once, whatever the pieces the runner cuts long texts into; text
// that was well-formed comes back unchanged, and what goes to the host is
// always well-formed UTF-8.
//
// The first byte of the input chooses the direction and how much plain text
// goes before the rest, so that a cut between pieces (every 64 Ki units) can
// fall anywhere in the bytes that the fuzzer chose.

#include "ByteBuffer.h"
#include "Engine.h"
#include "FuzzCheck.h"
#include "Utf.h"

#include <unicode/ustring.h>

#include <string>

namespace {

using zov::fuzz::check;

constexpr size_t pieceSize = size_t{1} << 16;

struct Reference {
    std::u16string text;
    int32_t substitutions = 0;
};

Reference icuFromUtf8(std::string_view utf8) {
    Reference result;
    result.text.resize(utf8.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(result.text.data(), static_cast<int32_t>(result.text.size()), &length,
                         utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD,
                         &result.substitutions, &status);
    check(U_SUCCESS(status), "ICU converts UTF-8");
    result.text.resize(static_cast<size_t>(length));
    return result;
}

std::string icuToUtf8(std::u16string_view utf16) {
    std::string result(utf16.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf16.data(),
                       static_cast<int32_t>(utf16.size()), 0xFFFD, nullptr, &status);
    check(U_SUCCESS(status), "ICU converts UTF-16");
    result.resize(static_cast<size_t>(length));
    return result;
}

void fromUtf8(std::string_view bytes) {
    const Reference reference = icuFromUtf8(bytes);
    const std::u16string text = zov::utf8ToUtf16(bytes);
    check(text == reference.text, "UTF-8 to UTF-16 as ICU converts it at once");
    const std::string terminated(bytes); // the engine's road wants a NUL after the text
    check(zov::engine::String::fromUtf8(terminated).view() == text,
          "the engine gets the same text, ASCII or not");

    bool ascii = true;
    for (const char byte : bytes)
        ascii = ascii && byte != '\0' && static_cast<unsigned char>(byte) < 0x80;
    check(zov::isAsciiText(bytes) == ascii, "ASCII text: no high byte and no NUL");

    if (reference.substitutions != 0)
        return;
    // Well-formed text.
    check(zov::utf16Length(bytes) == text.size(), "the length in UTF-16 code units");
    check(zov::utf16ToUtf8(text) == bytes, "well-formed text comes back unchanged");
    zov::ByteBuffer out;
    zov::engine::String::fromUtf8(terminated).appendUtf8(out);
    check(out.view() == bytes, "and unchanged through the engine's string");
}

void toUtf8(std::u16string_view units) {
    const std::string expected = icuToUtf8(units);
    check(zov::utf16ToUtf8(units) == expected, "UTF-16 to UTF-8 as ICU converts it at once");
    zov::ByteBuffer appended;
    appended.append("x");
    zov::appendUtf8(appended, units);
    check(appended.view().substr(1) == expected, "appended as converted");
    zov::ByteBuffer fromEngine;
    zov::engine::String::fromUtf16(units).appendUtf8(fromEngine);
    check(fromEngine.view() == expected, "the engine's string writes the same UTF-8");

    const Reference back = icuFromUtf8(expected);
    check(back.substitutions == 0, "what goes to the host is well-formed UTF-8");
    // Back in UTF-16, only the unpaired surrogates have changed, each to U+FFFD.
    std::u16string replaced(units);
    for (size_t i = 0; i < replaced.size(); ++i) {
        if (U16_IS_LEAD(replaced[i]) && i + 1 < replaced.size() && U16_IS_TRAIL(replaced[i + 1]))
            ++i; // a pair
        else if (U16_IS_SURROGATE(replaced[i]))
            replaced[i] = u'\uFFFD';
    }
    check(back.text == replaced, "unpaired surrogates become U+FFFD, nothing else changes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t choice = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    // One time in four the text starts just before a cut between pieces: the
    // 64 Ki units of plain text before it take most of the time of a run.
    const size_t lead = (choice & 6) == 6 ? pieceSize - (choice >> 3) : 0;
    if ((choice & 1) == 0) {
        fromUtf8(std::string(lead, 'a') + std::string(rest));
    } else {
        std::u16string units(lead, u'a');
        for (size_t i = 0; i + 1 < rest.size(); i += 2)
            units += static_cast<char16_t>(static_cast<uint8_t>(rest[i]) |
                                           static_cast<uint8_t>(rest[i + 1]) << 8);
        toUtf8(units);
    }
    return 0;
}
