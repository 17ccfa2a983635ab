#include "JsonString.h"

#include "ByteBuffer.h"
#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zov::ByteBuffer;
using zov::test::CaseName;

struct EscapeCase {
    const char* name;
    std::string text;
    std::string json;
};

class JsonStringEscaping : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringEscaping, WritesTheExpectedLiteral) {
    std::string out = "prefix:";
    zov::appendJsonString(out, GetParam().text);
    EXPECT_EQ(out, "prefix:" + GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    JsonString, JsonStringEscaping,
    testing::Values(EscapeCase{"Empty", "", R"("")"},
                    EscapeCase{"Plain", "abc 123", R"("abc 123")"},
                    EscapeCase{"QuoteAndBackslash", R"(a"b\c)", R"("a\"b\\c")"},
                    EscapeCase{"Solidus", "http://x/y", R"("http:\/\/x\/y")"},
                    EscapeCase{"NamedControls", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
                    EscapeCase{"OtherControls", std::string("\0\x01\x1F", 3),
                               R"("\u0000\u0001\u001f")"},
                    EscapeCase{"DeleteStaysRaw", "\x7F", "\"\x7F\""},
                    EscapeCase{"NonAsciiStaysRawUtf8", "\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80",
                               "\"\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\""},
                    EscapeCase{"EscapesAtBothEnds", "\"x\"", R"("\"x\"")"}),
    CaseName());

// The result line is escaped in place; it must match the appended literal byte for byte.
TEST(JsonString, EscapingInPlaceMatchesAppending) {
    const std::string samples[] = {
        "",
        "plain",
        "\"",
        "{\"a\":\"b/c\\\\d\"}",
        std::string("\0\x01\x1F\x7F", 4),
        "\n\r\t\b\f",
        "\xC3\xA9\xE2\x80\xA8 \"quoted\" /",
        std::string(100'000, '/') + std::string(100'000, 'x') + "\"",
    };
    for (const std::string& sample : samples) {
        ByteBuffer buffer;
        buffer.append("{\"json\":");
        buffer.append(sample);
        zov::escapeJsonStringInPlace(buffer, 8);
        std::string expected = "{\"json\":";
        zov::appendJsonString(expected, sample);
        EXPECT_TRUE(buffer.view() == expected) << sample.substr(0, 40);
    }
}

} // namespace
