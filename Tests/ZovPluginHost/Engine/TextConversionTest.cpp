// Text on its way between the host's UTF-8 and the engine's strings.

#include "ByteBuffer.h"
#include "CaseName.h"
#include "Engine.h"
#include "HugeText.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace {

using zov::test::CaseName;
using zov::test::HugeText;

using zov::ByteBuffer;
using zov::engine::String;

struct TextCase {
    const char* name;
    std::string utf8;    // as it arrives from the host
    std::u16string text; // as the engine must hold it
};

class FromUtf8 : public testing::TestWithParam<TextCase> {};

TEST_P(FromUtf8, GivesTheEngineTheDecodedText) {
    const std::string& bytes = GetParam().utf8; // std::string keeps a NUL after its end
    EXPECT_TRUE(String::fromUtf8(bytes).view() == GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Text, FromUtf8,
    testing::Values(TextCase{"Empty", "", u""},
                    TextCase{"Ascii", "plain {\"a\":1}", u"plain {\"a\":1}"},
                    TextCase{"NulInside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                    TextCase{"NonAscii", "\xC3\xA9\xF0\x9F\x98\x80", u"\u00E9\U0001F600"},
                    TextCase{"IllFormed", "a\xFF\xC3", u"a\uFFFD\uFFFD"},
                    TextCase{"DeleteIsAscii", "\x7F", u"\x7F"}),
    CaseName());

struct Utf8Case {
    const char* name;
    std::u16string text;
    std::string utf8;
};

class AppendUtf8 : public testing::TestWithParam<Utf8Case> {};

TEST_P(AppendUtf8, WritesWholeWellFormedUtf8) {
    ByteBuffer out;
    out.append("prefix:");
    String::fromUtf16(GetParam().text).appendUtf8(out);
    EXPECT_EQ(out.view(), "prefix:" + GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Text, AppendUtf8,
    testing::Values(Utf8Case{"Empty", u"", ""}, Utf8Case{"Ascii", u"abc", "abc"},
                    Utf8Case{"Latin1", u"\u00E9\u00FF", "\xC3\xA9\xC3\xBF"},
                    Utf8Case{"NulInside", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
                    Utf8Case{"SurrogatePair", u"\U0001F600", "\xF0\x9F\x98\x80"},
                    Utf8Case{"UnpairedHighSurrogate", std::u16string{u'a', 0xD800, u'b'},
                             "a\xEF\xBF\xBD"
                             "b"},
                    Utf8Case{"UnpairedLowSurrogateAtTheEnd", std::u16string{u'\u00E9', 0xDC00},
                             "\xC3\xA9\xEF\xBF\xBD"}),
    CaseName());

TEST(Text, LongTextsSurviveTheRoundTrip) {
    std::string utf8;
    for (int i = 0; i < 200'000; ++i)
        utf8 += i % 5 == 0 ? "\xE2\x82\xAC/" : "ab";
    ByteBuffer out;
    String::fromUtf8(utf8).appendUtf8(out);
    EXPECT_TRUE(out.view() == utf8);
}

TEST(Text, Utf16LengthCountsCodeUnits) {
    EXPECT_EQ(zov::utf16Length(""), 0u);
    EXPECT_EQ(zov::utf16Length("abc"), 3u);
    EXPECT_EQ(zov::utf16Length("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), 4u);
    std::string mixed;
    for (int i = 0; i < 1000; ++i)
        mixed += "a\xC3\xA9\xF0\x9F\x98\x80";
    EXPECT_EQ(zov::utf16Length(mixed), 4000u);
}

TEST(Text, AsciiTextHasNeitherHighBytesNorNul) {
    EXPECT_TRUE(zov::isAsciiText(""));
    EXPECT_TRUE(zov::isAsciiText(std::string(1000, 'x') + "\x7F"));
    EXPECT_FALSE(zov::isAsciiText(std::string(1000, 'x') + "\x80"));
    EXPECT_FALSE(zov::isAsciiText(std::string(1000, 'x') + std::string(1, '\0')));
    EXPECT_FALSE(zov::isAsciiText(std::string(1, '\0') + "abcdefgh"));
}

// The message of the std::length_error that `convert` throws, or none.
template <typename Convert> std::optional<std::string> lengthError(Convert convert) {
    try {
        convert();
    } catch (const std::length_error& error) {
        return error.what();
    }
    return std::nullopt;
}

// The engine holds at most 2^31 - 1 code units a string and aborts beyond:
// longer text is refused, with the same error on both roads into it.
TEST(Text, LongerThanTheEngineHoldsIsRefused) {
    const std::string tooLong = "Text too long for the script engine";
    // 2^31 bytes of ASCII, which goes in one code unit a byte.
    const HugeText ascii(size_t{1} << 31, 'a', '\0');
    ASSERT_TRUE(ascii.mapped());
    EXPECT_EQ(lengthError([&] { String::fromUtf8(ascii.text()); }), tooLong);
    // 2^31 code units of UTF-16, which any other UTF-8 becomes first.
    const HugeText units(size_t{1} << 32, 'a', '\0');
    ASSERT_TRUE(units.mapped());
    const std::u16string_view text(reinterpret_cast<const char16_t*>(units.data()),
                                   units.text().size() / 2);
    EXPECT_EQ(lengthError([&] { String::fromUtf16(text); }), tooLong);
}

} // namespace
