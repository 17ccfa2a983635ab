// The request line: what the runner refuses, and how.

#include "RunnerHarness.h"
#include "CaseName.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

constexpr const char* invalid = "Invalid plugin invocation";

enum class Refusal {
    Invalid, // the runner's own "Invalid plugin invocation"
    Parser,  // the JSON parser's description
};

struct RequestCase {
    const char* name;
    std::string line; // sent with a line feed after it
    Refusal refusal;
};

class MalformedRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MalformedRequests, GetOneErrorLineWithAnEmptyState) {
    const RequestCase& test = GetParam();
    const Outcome outcome = runRequest(test.line);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error);
    EXPECT_EQ(outcome.lines.size(), 1u);
    EXPECT_TRUE(outcome.state.empty());
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus) && WEXITSTATUS(outcome.waitStatus) == 1);
    if (test.refusal == Refusal::Invalid) {
        EXPECT_EQ(outcome.message, invalid);
    } else {
        EXPECT_NE(outcome.message, invalid);
        EXPECT_FALSE(outcome.message.empty());
    }
}

const std::string script = R"("script":"return {m() { return 1; }};")";

INSTANTIATE_TEST_SUITE_P(
    Runner, MalformedRequests,
    ::testing::Values(
        RequestCase{"EmptyLine", "", Refusal::Parser},
        RequestCase{"BlankLine", "   ", Refusal::Parser},
        RequestCase{"BareString", R"("text")", Refusal::Parser},
        RequestCase{"BareNumber", "12", Refusal::Parser},
        RequestCase{"BareTrue", "true", Refusal::Parser},
        RequestCase{"BareNull", "null", Refusal::Parser},
        RequestCase{"Truncated", R"({"script":)", Refusal::Parser},
        RequestCase{"TrailingGarbage", "{\"method\":\"m\"," + script + "}x", Refusal::Parser},
        RequestCase{"SingleQuotes", "{'method':'m'}", Refusal::Parser},
        RequestCase{"RawControlCharacterInAString", "{\"method\":\"m\x01\"," + script + "}",
                    Refusal::Parser},
        RequestCase{"NulAfterTheObject",
                    std::string("{\"method\":\"m\",") + script + "}" + std::string(1, '\0') +
                        "garbage",
                    Refusal::Parser},
        RequestCase{"UnclosedDeepNesting", std::string(100'000, '['), Refusal::Parser},
        RequestCase{"Array", R"(["script","method"])", Refusal::Invalid},
        RequestCase{"EmptyArray", "[]", Refusal::Invalid},
        RequestCase{"EmptyObject", "{}", Refusal::Invalid},
        RequestCase{"MissingScript", R"({"method":"m"})", Refusal::Invalid},
        RequestCase{"MissingMethod", "{" + script + "}", Refusal::Invalid},
        RequestCase{"ScriptNotAString", R"({"method":"m","script":1})", Refusal::Invalid},
        RequestCase{"ScriptNull", R"({"method":"m","script":null})", Refusal::Invalid},
        RequestCase{"MethodNotAString", "{\"method\":[\"m\"]," + script + "}", Refusal::Invalid},
        RequestCase{"MethodNull", "{\"method\":null," + script + "}", Refusal::Invalid}),
    CaseName());

struct RawCase {
    const char* name;
    std::string input; // exactly what the host writes before closing the pipe
    std::string output;
    int status;
};

class RawRequests : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawRequests, WriteExactlyTheExpectedOutput) {
    const RawRun run = runRaw(GetParam().input);
    EXPECT_EQ(run.output, GetParam().output);
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(WIFEXITED(run.waitStatus));
    EXPECT_EQ(WEXITSTATUS(run.waitStatus), GetParam().status);
}

const std::string invalidLine =
    R"({"message":"Invalid plugin invocation","state":{},"type":"error"})"
    "\n";
const std::string request = R"({"method":"m","script":"return {m() { return 1; }};"})";
const std::string resultLine = R"({"json":"1","type":"result"})"
                               "\n";

INSTANTIATE_TEST_SUITE_P(
    Runner, RawRequests,
    ::testing::Values(RawCase{"StandardInputClosedAtOnce", "", invalidLine, 1},
                      RawCase{"RequestWithoutLineFeed", request, resultLine, 0},
                      RawCase{"RequestWithCarriageReturnAndLineFeed", request + "\r\n", resultLine,
                              0},
                      RawCase{"RequestAfterAnEmptyLineIsNeverRead", "\n" + request + "\n",
                              R"({"message":"JSON Parse error: Unexpected EOF","state":{},)"
                              R"("type":"error"})"
                              "\n",
                              1}),
    CaseName());

TEST(Requests, IllFormedUtf8InTheRequestBecomesReplacementCharacters) {
    const Outcome outcome =
        runRequest("{\"method\":\"m\",\"script\":\"return {m() { return '\xFF\xC3'; }};\"}");
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(Requests, DeeplyNestedInputIsAcceptedAndReportedWhenItCannotBeWritten) {
    const std::string nested = std::string(200'000, '[') + std::string(200'000, ']');
    const Outcome depth = runPlugin(method("let d = 0; for (let a = input; Array.isArray(a);"
                                           " a = a[0]) ++d; return d;"),
                                    "m", nested);
    EXPECT_EQ(depth.json, "200000");
    const Outcome echoed = runPlugin(method("return input;"), "m", nested);
    ASSERT_EQ(echoed.kind, Outcome::Kind::Error);
    EXPECT_TRUE(echoed.message.starts_with("RangeError")) << echoed.message;
}

TEST(Requests, OnlyTheFirstLineIsTheRequest) {
    const Outcome outcome = runRequest(R"({"method":"m","script":"return {m() { return 1; }};"})"
                                       "\n{\"method\":\"x\"}\nmore");
    EXPECT_EQ(outcome.json, "1");
}

} // namespace
} // namespace zov::test
