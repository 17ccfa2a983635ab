// The check that a result's `json` member is JSON text. Every row's answer is
// also the engine's own parser's, which reads the same grammar.

#include "JsonText.h"
#include "CaseName.h"
#include "Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace {

using zov::test::CaseName;

struct TextCase {
    const char* name;
    std::string text;
    bool json;
};

class JsonTextCheck : public testing::TestWithParam<TextCase> {};

TEST_P(JsonTextCheck, AgreesWithTheEnginesParser) {
    const TextCase& test = GetParam();
    EXPECT_EQ(zov::isJsonText(test.text), test.json);
    static const std::unique_ptr<zov::engine::Context> context = zov::engine::Context::create();
    const auto parsed = context->parseJson(zov::engine::String::fromUtf8(test.text));
    EXPECT_EQ(std::holds_alternative<zov::engine::Value>(parsed), test.json)
        << "the engine's parser disagrees with the row";
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, JsonTextCheck,
    testing::Values(TextCase{"Empty", "", false}, TextCase{"OnlySpace", " \t\r\n", false},
                    TextCase{"True", "true", true}, TextCase{"False", "false", true},
                    TextCase{"Null", "null", true}, TextCase{"CutWord", "tru", false},
                    TextCase{"LongerWord", "nulll", false}, TextCase{"Capitalised", "True", false},
                    TextCase{"Undefined", "undefined", false},
                    TextCase{"ObjectString", "[object Object]", false},
                    TextCase{"SpaceAround", " \n\t\r1\r\n\t ", true},
                    TextCase{"FormFeedIsNoSpace", "\f1", false},
                    TextCase{"NoBreakSpaceIsNoSpace",
                             "\xC2\xA0"
                             "1",
                             false},
                    TextCase{"TwoValues", "1 2", false}, TextCase{"NulAfter", {"1\0", 2}, false}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Numbers, JsonTextCheck,
    testing::Values(
        TextCase{"Zero", "0", true}, TextCase{"NegativeZero", "-0", true},
        TextCase{"Fraction", "-12.50", true}, TextCase{"Exponent", "1e400", true},
        TextCase{"SignedExponent", "2.5E-3", true}, TextCase{"ExponentPlus", "1e+2", true},
        TextCase{"HugeInteger", std::string(400, '9'), true}, TextCase{"LeadingZero", "01", false},
        TextCase{"LeadingPlus", "+1", false}, TextCase{"BareMinus", "-", false},
        TextCase{"NoIntegerPart", ".5", false}, TextCase{"NoFractionDigits", "1.", false},
        TextCase{"NoExponentDigits", "1e", false},
        TextCase{"NoExponentDigitsAfterSign", "1e-", false}, TextCase{"Hexadecimal", "0x10", false},
        TextCase{"Infinity", "Infinity", false}, TextCase{"NaN", "NaN", false}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Strings, JsonTextCheck,
    testing::Values(
        TextCase{"Empty", R"("")", true}, TextCase{"Unterminated", R"("abc)", false},
        TextCase{"ShortEscapes", R"("\" \\ \/ \b \f \n \r \t")", true},
        TextCase{"UnknownEscape", R"("\a")", false}, TextCase{"EscapeAtTheEnd", R"("\)", false},
        TextCase{"UnicodeEscape", R"("\u00e9\uD83D\uDE00")", true},
        TextCase{"LoneSurrogateEscape", R"("\ud800")", true},
        TextCase{"ShortUnicodeEscape", R"("\u12")", false},
        TextCase{"NonHexUnicodeEscape", R"("\u12g4")", false},
        TextCase{"RawControlCharacter", "\"a\x01z\"", false},
        TextCase{"RawLineFeed", "\"a\nz\"", false}, TextCase{"RawNul", {"\"a\0z\"", 5}, false},
        TextCase{"RawDelete", "\"\x7F\"", true},
        TextCase{"RawNonAscii", "\"\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\"", true},
        TextCase{"SingleQuotes", "'a'", false},
        // Long enough for the scan eight bytes at a time, with its stops at every offset.
        TextCase{"LongWithEscapes",
                 "\"" + std::string(37, 'x') + "\\\"" + std::string(9, 'y') + "\\u0041" +
                     std::string(64, 'z') + "\"",
                 true},
        TextCase{"LongWithAControlCharacterLate",
                 "\"" + std::string(61, 'x') + "\x1F" + std::string(3, 'y') + "\"", false}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Structures, JsonTextCheck,
    testing::Values(
        TextCase{"EmptyArray", "[]", true}, TextCase{"EmptyObject", "{ }", true},
        TextCase{"Nested", R"({"a":[1,{"b":null}],"c":{"d":"e"},"":[[]]})", true},
        TextCase{"SpacesEverywhere", " { \"a\" : [ 1 , 2 ] , \"b\" : { } } ", true},
        TextCase{"TrailingCommaInArray", "[1,]", false},
        TextCase{"TrailingCommaInObject", R"({"a":1,})", false},
        TextCase{"LeadingComma", "[,1]", false}, TextCase{"MissingComma", "[1 2]", false},
        TextCase{"MissingColon", R"({"a" 1})", false}, TextCase{"MissingValue", R"({"a":})", false},
        TextCase{"NameNotAString", "{a:1}", false}, TextCase{"NameANumber", "{1:1}", false},
        TextCase{"Unclosed", "[1,[2]", false}, TextCase{"ClosedTwice", "[1]]", false},
        TextCase{"Mismatched", "[1}", false}, TextCase{"ObjectClosedAsArray", R"({"a":1])", false},
        TextCase{"DeepNesting", std::string(100'000, '[') + std::string(100'000, ']'), true},
        TextCase{"DeepNestingUnclosed", std::string(100'000, '['), false},
        TextCase{"DeepObjects",
                 [] {
                     std::string text;
                     for (int i = 0; i < 10'000; ++i)
                         text += R"({"k":)";
                     return text + "0" + std::string(10'000, '}');
                 }(),
                 true}),
    CaseName());

} // namespace
