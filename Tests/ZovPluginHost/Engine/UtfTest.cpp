#include "Utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf, KeepsNulCharactersInBothDirections) {
    const std::string utf8("a\0b\0", 4);
    const std::u16string utf16(u"a\0b\0", 4);
    EXPECT_EQ(zov::utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(zov::utf16ToUtf8(utf16), utf8);
}

TEST(Utf, ReplacesUnpairedSurrogates) {
    const std::u16string text = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0xDE00, 0xD83D};
    EXPECT_EQ(zov::utf16ToUtf8(text), "a\xEF\xBF\xBD"
                                      "b\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(Utf, ReplacesIllFormedUtf8) {
    // A stray continuation byte, an overlong form, an encoded surrogate, a
    // truncated sequence.
    EXPECT_EQ(zov::utf8ToUtf16("\x80|\xC0\xAF|\xED\xA0\x80|\xF0\x9F\x98"),
              u"\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD");
}

// Long texts are converted in pieces; no character may be split between two.
TEST(Utf, ConvertsLongTextsWithoutSplittingCharacters) {
    for (const size_t offset : {0, 1, 2, 3}) {
        std::string utf8(offset, 'x');
        std::u16string utf16(offset, u'x');
        for (int i = 0; i < 100'000; ++i) {
            utf8 += "\xF0\x9F\x98\x80\xC3\xA9";
            utf16 += u"\U0001F600\u00E9";
        }
        EXPECT_TRUE(zov::utf8ToUtf16(utf8) == utf16) << "offset " << offset;
        EXPECT_TRUE(zov::utf16ToUtf8(utf16) == utf8) << "offset " << offset;
    }
}

TEST(Utf, LongRunsOfStrayContinuationBytesStayOneReplacementEach) {
    const std::string utf8(200'000, '\x80');
    EXPECT_TRUE(zov::utf8ToUtf16(utf8) == std::u16string(200'000, u'\uFFFD'));
}

} // namespace
