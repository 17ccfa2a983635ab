#include "JsonWriter.h"
#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zov::test::CaseName;

using zov::Message;
using zov::StringMap;

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
    JsonWriter, JsonStringEscaping,
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

TEST(JsonWriter, WritesCompactLinesWithSortedKeys) {
    const Message message = {{"type", "error"},
                             {"state", StringMap{{"zeta", "1"}, {"Alpha", "2"}, {"alpha", "3"}}},
                             {"message", "m"}};
    EXPECT_EQ(zov::jsonLine(message),
              R"({"message":"m","state":{"Alpha":"2","alpha":"3","zeta":"1"},"type":"error"})"
              "\n");
}

TEST(JsonWriter, WritesAnEmptyMapAsAnEmptyObject) {
    EXPECT_EQ(zov::jsonLine({{"state", StringMap{}}}), "{\"state\":{}}\n");
}

TEST(JsonWriter, NeverWritesARawLineFeed) {
    const std::string line = zov::jsonLine({{"a\nb", "c\nd"}, {"e", StringMap{{"\n", "\r\n"}}}});
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
}

} // namespace
