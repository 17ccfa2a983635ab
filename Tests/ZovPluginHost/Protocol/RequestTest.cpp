// The request line: what the runner refuses, and how.

#include "CaseName.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

constexpr const char* invalid = "Invalid plugin invocation";

struct RequestCase {
    const char* name;
    std::string line;    // sent with a line feed after it
    std::string message; // the error line's message
};

class MalformedRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MalformedRequests, GetOneErrorLineWithAnEmptyState) {
    const RequestCase& test = GetParam();
    const Outcome outcome = runRequest(test.line);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error);
    EXPECT_EQ(outcome.transcript.size(), 1u);
    EXPECT_TRUE(outcome.state.empty());
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus()) && WEXITSTATUS(outcome.waitStatus()) == 1);
    EXPECT_EQ(outcome.message, test.message);
}

const std::string script = R"("script":"return {m() { return 1; }};")";
// What the JSON parser says of a line that is no JSON text, or of one whose top level is neither
// an object nor an array.
const std::string notJson = "JSON Parse error: ";
const std::string notADocument = "JSON text did not start with an array or an object";

INSTANTIATE_TEST_SUITE_P(
    Parser, MalformedRequests,
    ::testing::Values(
        RequestCase{"EmptyLine", "", notJson + "Unexpected EOF"},
        RequestCase{"BlankLine", "   ", notJson + "Unexpected EOF"},
        RequestCase{"BareString", R"("text")", notADocument},
        RequestCase{"BareNumber", "12", notADocument},
        RequestCase{"BareTrue", "true", notADocument},
        RequestCase{"BareNull", "null", notADocument},
        RequestCase{"Truncated", R"({"script":)", notJson + "Unexpected EOF"},
        RequestCase{"TrailingGarbage", "{\"method\":\"m\"," + script + "}x",
                    notJson + "Unable to parse JSON string"},
        RequestCase{"TrailingComma", R"({"method":"m",})",
                    notJson + "Property name must be a string literal"},
        RequestCase{"MissingComma", "[1 2]", notJson + "Expected ']'"},
        RequestCase{"SingleQuotes", "{'method':'m'}",
                    notJson + "Single quotes (') are not allowed in JSON"},
        RequestCase{"RawControlCharacterInAString", "{\"method\":\"m\x01\"," + script + "}",
                    notJson + "Unterminated string"},
        RequestCase{"NulAfterTheObject",
                    std::string("{\"method\":\"m\",") + script + "}" + std::string(1, '\0') +
                        "garbage",
                    notJson + "Unrecognized token '" + std::string(1, '\0') + "'"},
        RequestCase{"UnclosedDeepNesting", std::string(100'000, '['), notJson + "Unexpected EOF"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Runner, MalformedRequests,
    ::testing::Values(RequestCase{"Array", R"(["script","method"])", invalid},
                      RequestCase{"EmptyArray", "[]", invalid},
                      RequestCase{"EmptyObject", "{}", invalid},
                      RequestCase{"MissingScript", R"({"method":"m"})", invalid},
                      RequestCase{"MissingMethod", "{" + script + "}", invalid},
                      RequestCase{"ScriptNotAString", R"({"method":"m","script":1})", invalid},
                      RequestCase{"ScriptNull", R"({"method":"m","script":null})", invalid},
                      RequestCase{"MethodNotAString", "{\"method\":[\"m\"]," + script + "}",
                                  invalid},
                      RequestCase{"MethodNull", "{\"method\":null," + script + "}", invalid}),
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
