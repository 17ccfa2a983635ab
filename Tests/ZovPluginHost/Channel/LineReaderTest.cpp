#include "LineReader.h"
#include "CaseName.h"
#include "UniqueFd.h"
#include "WriteAll.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using zov::test::CaseName;

using zov::LineReader;

// Feeds `input` through a pipe from another thread, as a host would, and
// returns every line the reader gives until the end of the input.
std::vector<std::string> readAll(const std::string& input) {
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
    std::vector<std::string> lines;
    while (std::optional<std::string_view> line = reader.readLine()) {
        // Every line is followed by a NUL, so that it can serve as a C string.
        EXPECT_EQ(line->data()[line->size()], '\0');
        lines.emplace_back(*line);
        reader.shrink();
    }
    // The end of the input stays the end.
    EXPECT_EQ(reader.readLine(), std::nullopt);
    writer.join();
    ::close(ends[0]);
    return lines;
}

struct LineCase {
    const char* name;
    std::string input;
    std::vector<std::string> lines;
};

class LineReaderCases : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderCases, GivesTheLinesWithoutTheirEndings) {
    EXPECT_EQ(readAll(GetParam().input), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    LineReader, LineReaderCases,
    testing::Values(LineCase{"NoInput", "", {}}, LineCase{"OneLine", "{}\n", {"{}"}},
                    LineCase{"LastLineWithoutLineFeed", "a\nb", {"a", "b"}},
                    LineCase{"CarriageReturnBeforeLineFeed", "a\r\nb\r\n", {"a", "b"}},
                    LineCase{"OnlyOneCarriageReturnIsRemoved", "a\r\r\n", {"a\r"}},
                    LineCase{"CarriageReturnInsideTheLineStays", "a\rb\n", {"a\rb"}},
                    LineCase{"LoneCarriageReturnAtTheEndStays", "a\r", {"a\r"}},
                    LineCase{"EmptyLinesAreLines", "\n\r\n\n", {"", "", ""}},
                    LineCase{"NulBytesSurvive", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
                    LineCase{"BytesAreHandedOnAsTheyCame", "\xC3\xA9\xFF\n", {"\xC3\xA9\xFF"}}),
    CaseName());

TEST(LineReader, ReadsALineLargerThanAnyBuffer) {
    std::string line;
    for (int i = 0; line.size() < (size_t{20} << 20); ++i)
        line += std::to_string(i) + ' ';
    const auto lines = readAll("first\n" + line + "\n" + "next");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_TRUE(lines[1] == line);
    EXPECT_EQ(lines[2], "next");
}

TEST(LineReader, KeepsBytesThatArriveEarlyForTheNextLine) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string input = "first\nsecond\nthird";
    ASSERT_EQ(::write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    LineReader reader(ends[0]);
    EXPECT_EQ(reader.readLine(), "first");
    // Nothing more is written; the rest was read with the first line.
    EXPECT_EQ(reader.readLine(), "second");
    ::close(ends[1]);
    EXPECT_EQ(reader.readLine(), "third");
    EXPECT_EQ(reader.readLine(), std::nullopt);
    ::close(ends[0]);
}

// A host may hand over a non-blocking input: a read that finds nothing yet
// waits, as it would on a blocking one, instead of ending the input.
TEST(LineReader, WaitsForANonBlockingInput) {
    zov::Pipe pipe = zov::makePipe(O_CLOEXEC | O_NONBLOCK);
    std::thread host([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        zov::writeAll(pipe.write.get(), "late\nla");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        zov::writeAll(pipe.write.get(), "st");
        pipe.write.reset();
    });
    LineReader reader(pipe.read.get());
    EXPECT_EQ(reader.readLine(), "late");
    EXPECT_EQ(reader.readLine(), "last");
    EXPECT_EQ(reader.readLine(), std::nullopt);
    host.join();
}

TEST(LineReader, ABadDescriptorIsTheEndOfInput) {
    LineReader reader(-1);
    EXPECT_EQ(reader.readLine(), std::nullopt);
}

} // namespace
