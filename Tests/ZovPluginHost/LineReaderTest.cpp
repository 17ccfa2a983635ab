#include "LineReader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using zov::LineReader;

// Feeds `input` through a pipe from another thread, as a host would, and
// returns every line the reader gives until the end of the input.
std::vector<std::u16string> readAll(const std::string& input) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        std::string_view rest = input;
        while (!rest.empty()) {
            const ssize_t count = ::write(ends[1], rest.data(), rest.size());
            ASSERT_GT(count, 0);
            rest.remove_prefix(static_cast<size_t>(count));
        }
        ::close(ends[1]);
    });
    LineReader reader(ends[0]);
    std::vector<std::u16string> lines;
    while (std::optional<std::u16string> line = reader.readLine())
        lines.push_back(std::move(*line));
    // The end of the input stays the end.
    EXPECT_EQ(reader.readLine(), std::nullopt);
    writer.join();
    ::close(ends[0]);
    return lines;
}

struct LineCase {
    const char* name;
    std::string input;
    std::vector<std::u16string> lines;
};

class LineReaderCases : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderCases, GivesTheLinesWithoutTheirEndings) {
    EXPECT_EQ(readAll(GetParam().input), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    LineReader, LineReaderCases,
    testing::Values(LineCase{"NoInput", "", {}}, LineCase{"OneLine", "{}\n", {u"{}"}},
                    LineCase{"LastLineWithoutLineFeed", "a\nb", {u"a", u"b"}},
                    LineCase{"CarriageReturnBeforeLineFeed", "a\r\nb\r\n", {u"a", u"b"}},
                    LineCase{"OnlyOneCarriageReturnIsRemoved", "a\r\r\n", {u"a\r"}},
                    LineCase{"CarriageReturnInsideTheLineStays", "a\rb\n", {u"a\rb"}},
                    LineCase{"EmptyLinesAreLines", "\n\r\n\n", {u"", u"", u""}},
                    LineCase{
                        "NulBytesSurvive", std::string("a\0b\n", 4), {std::u16string(u"a\0b", 3)}},
                    LineCase{"Utf8IsDecoded", "\xC3\xA9\xF0\x9F\x98\x80\n", {u"\u00E9\U0001F600"}},
                    LineCase{"IllFormedUtf8BecomesReplacementCharacters",
                             "a\xFF"
                             "b\xC3"
                             "c\xED\xA0\x80\n",
                             {u"a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFD"}},
                    LineCase{"TruncatedSequenceAtTheEndOfInput", "ab\xE2\x82", {u"ab\uFFFD"}}),
    [](const testing::TestParamInfo<LineCase>& testCase) { return testCase.param.name; });

TEST(LineReader, ReadsALineLargerThanAnyBuffer) {
    // Multi-byte characters across every internal boundary.
    std::string line;
    std::u16string expected;
    for (int i = 0; i < 3'000'000; ++i) {
        line += i % 3 == 0 ? "\xE2\x82\xAC" : "x";
        expected += i % 3 == 0 ? u'\u20AC' : u'x';
    }
    const auto lines = readAll(line + "\n" + "next\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == expected);
    EXPECT_EQ(lines[1], u"next");
}

TEST(LineReader, KeepsBytesThatArriveEarlyForTheNextLine) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string input = "first\nsecond\nthird";
    ASSERT_EQ(::write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    LineReader reader(ends[0]);
    EXPECT_EQ(reader.readLine(), u"first");
    // Nothing more is written; the rest was read with the first line.
    EXPECT_EQ(reader.readLine(), u"second");
    ::close(ends[1]);
    EXPECT_EQ(reader.readLine(), u"third");
    EXPECT_EQ(reader.readLine(), std::nullopt);
    ::close(ends[0]);
}

TEST(LineReader, ABadDescriptorIsTheEndOfInput) {
    LineReader reader(-1);
    EXPECT_EQ(reader.readLine(), std::nullopt);
}

} // namespace
