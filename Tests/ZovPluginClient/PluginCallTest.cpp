// The host side: the conversation with a runner, judged from the lines and
// the exit status, whatever the process at the other end does.

#include "CaseName.h"

#include <zov/PluginCall.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::client {
namespace {

using namespace std::chrono_literals;
using zov::test::CaseName;

// A stand-in runner: a shell script in a private temporary directory.
class FakeRunner {
public:
    explicit FakeRunner(const std::string& body) {
        char pattern[] = "/tmp/zov-fake-runner-XXXXXX";
        directory_ = ::mkdtemp(pattern);
        path_ = directory_ / "runner";
        std::ofstream(path_) << "#!/bin/sh\n" << body << '\n';
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    ~FakeRunner() { std::filesystem::remove_all(directory_); }

    static CallOptions options() {
        CallOptions callOptions;
        callOptions.timeLimit = 20s;
        callOptions.transcriptBytes = 1 << 20;
        return callOptions;
    }

    // One call on a runner started from this script.
    Outcome call(std::string_view request, const CallOptions& callOptions = options()) const {
        return client::call(request, callOptions, {path_});
    }

private:
    std::filesystem::path directory_;
    std::filesystem::path path_;
};

struct FaultCase {
    const char* name;
    std::string runner;  // the fake runner's shell script
    std::string message; // the start of the failure's description
};

class ProtocolFaults : public testing::TestWithParam<FaultCase> {};

// What went wrong: the call's failure, or, for a call that returned at its final line, what was
// wrong with the runner's end.
std::string faultOf(const Outcome& outcome) {
    return outcome.kind == Outcome::Kind::Failure ? outcome.message : outcome.exit.get().problem;
}

TEST_P(ProtocolFaults, AreNeverPassedOverSilently) {
    const FakeRunner runner(GetParam().runner);
    const Outcome outcome = runner.call("{}");
    EXPECT_TRUE(faultOf(outcome).starts_with(GetParam().message)) << faultOf(outcome);
}

INSTANTIATE_TEST_SUITE_P(
    PluginCall, ProtocolFaults,
    testing::Values(
        FaultCase{"NoOutput", "exit 0",
                  "The plugin runner ended without a final line (exit status 0)"},
        FaultCase{"KilledBySignal", "kill -9 $$",
                  "The plugin runner ended without a final line (signal"},
        FaultCase{"EchoesTheRequest", "head -n 1", "The runner wrote a line that is not a message"},
        FaultCase{"NotJson", "echo hello", "The runner wrote a line that is not a message"},
        // Members that the host does not read must be JSON all the same.
        FaultCase{"UnreadMemberNotJson", "echo '{\"n\":1*2,\"json\":\"1\",\"type\":\"result\"}'",
                  "The runner wrote a line that is not a message"},
        FaultCase{"UnreadNestedMemberNotJson",
                  "echo '{\"n\":[1,{\"a\":tru}],\"json\":\"1\",\"type\":\"result\"}'",
                  "The runner wrote a line that is not a message"},
        FaultCase{"StateMemberNotJson",
                  "echo '{\"message\":\"m\",\"state\":{\"a\":01},\"type\":\"error\"}'",
                  "The runner wrote a line that is not a message"},
        FaultCase{"UnknownType", "echo '{\"type\":\"other\"}'",
                  "The runner wrote a line of unknown type"},
        FaultCase{"ResultWithoutJson", "echo '{\"type\":\"result\"}'",
                  "The runner wrote a result line without"},
        FaultCase{"TwoFinalLines",
                  "echo '{\"json\":\"1\",\"type\":\"result\"}'; echo "
                  "'{\"json\":\"2\",\"type\":\"result\"}'",
                  "The plugin runner wrote more after its final line"},
        FaultCase{"ResultWithFailureStatus", "echo '{\"json\":\"1\",\"type\":\"result\"}'; exit 1",
                  "The plugin runner wrote a result but ended with exit status 1"},
        FaultCase{"ResultThenKilledBySignal",
                  "echo '{\"json\":\"1\",\"type\":\"result\"}'; kill -9 $$",
                  "The plugin runner wrote a result but ended with signal Killed"},
        FaultCase{"ErrorWithSuccessStatus",
                  "echo '{\"message\":\"m\",\"state\":{},\"type\":\"error\"}'",
                  "The plugin runner wrote an error but ended with exit status 0"},
        FaultCase{"UnterminatedLine", "printf '{\"json\":\"1\",\"type\":\"result\"}'",
                  "The plugin runner's output ended inside a line"}),
    CaseName());

TEST(PluginCall, ReturnsAtTheFinalLineAndLearnsTheRunnersEndLater) {
    const FakeRunner runner(R"(echo '{"json":"1","type":"result"}'; exec sleep 60)");
    std::promise<RunnerExit> seen;
    CallOptions callOptions = FakeRunner::options();
    callOptions.onExit = [&](const RunnerExit& exit) { seen.set_value(exit); };
    const Outcome outcome = runner.call("{}", callOptions);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, "1");
    // The runner lingers after its final line, so its end is not known yet: it is stopped after
    // a grace of a few seconds, and that is the runner's fault, not the result's.
    EXPECT_EQ(outcome.exit.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    const RunnerExit& exit = outcome.exit.get();
    EXPECT_EQ(exit.problem, "The plugin runner did not end within 5000 ms of its final line and "
                            "was stopped");
    EXPECT_TRUE(WIFSIGNALED(exit.waitStatus) && WTERMSIG(exit.waitStatus) == SIGKILL);
    EXPECT_EQ(seen.get_future().get().problem, exit.problem);
}

TEST(PluginCall, CollectsResultLinesAndStandardError) {
    const FakeRunner runner(
        "read request; echo oops >&2; echo '{\"json\":\"[1]\",\"type\":\"result\"}'");
    const Outcome outcome = runner.call("{}");
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, "[1]");
    EXPECT_EQ(outcome.errorOutput, "oops\n");
    EXPECT_EQ(outcome.transcript, std::vector<std::string>{R"({"json":"[1]","type":"result"})"});
}

TEST(PluginCall, ReadsTheErrorLinesMessageAndState) {
    const FakeRunner runner(
        R"(echo '{"message":"Error: x","state":{"a":"1","b":"2"},"type":"error"}'; exit 1)");
    const Outcome outcome = runner.call("{}");
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error) << outcome.message;
    EXPECT_EQ(outcome.message, "Error: x");
    EXPECT_EQ(outcome.state, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
}

TEST(PluginCall, WritesTheRequestAndEachReplyAsOneLine) {
    // Echoes what it reads to standard error, so the test sees the bytes.
    const FakeRunner runner(R"(read request; printf '%s\n' "$request" >&2
echo '{"request":"first","type":"fetch"}'; read reply; printf '%s\n' "$reply" >&2
echo '{"request":"second","type":"fetch"}'; read reply; printf '%s\n' "$reply" >&2
echo '{"json":"0","type":"result"}')");
    CallOptions callOptions = FakeRunner::options();
    std::vector<std::string> requests;
    callOptions.onFetch = [&](const std::string& request) {
        requests.push_back(request);
        return std::optional<std::string>("reply to " + request);
    };
    const Outcome outcome = runner.call("the request", callOptions);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(requests, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(outcome.errorOutput, "the request\nreply to first\nreply to second\n");
}

// A reply with line breaks goes as one line: as JSON text with spaces for them, where they were
// white space; a reply that is not JSON text cannot go at all, and the call fails.
TEST(PluginCall, SendsAReplyWithLineBreaksAsOneLineOrNotAtAll) {
    const FakeRunner runner(R"(read request
echo '{"request":"pretty","type":"fetch"}'; read reply; printf '%s\n' "$reply" >&2
echo '{"request":"broken","type":"fetch"}'; read reply; printf 'read %s\n' "$reply" >&2
echo '{"json":"0","type":"result"}')");
    CallOptions callOptions = FakeRunner::options();
    callOptions.onFetch = [](const std::string& request) {
        return std::optional<std::string>(request == "pretty" ? "{\r\n  \"a\": [1,\n 2]\n}"
                                                              : "{\"a\": \"x\ny\"}");
    };
    const Outcome outcome = runner.call("{}", callOptions);
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_EQ(outcome.message, "The host's fetch reply holds a line break and is not JSON text");
    EXPECT_EQ(outcome.errorOutput, "{    \"a\": [1,  2] }\n");
}

TEST(PluginCall, NoAnswerClosesTheRunnersInput) {
    const FakeRunner runner(R"(read request
echo '{"request":"r","type":"fetch"}'
if read reply; then echo "{\"json\":\"1\",\"type\":\"result\"}"; else echo '{"json":"\"closed\"","type":"result"}'; fi)");
    const Outcome outcome = runner.call("{}");
    EXPECT_EQ(outcome.json, "\"closed\"");
}

TEST(PluginCall, StopsARunnerThatExceedsTheTimeLimit) {
    const FakeRunner runner("read request; exec sleep 60");
    CallOptions callOptions = FakeRunner::options();
    callOptions.timeLimit = 200ms;
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = runner.call("{}", callOptions);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_TRUE(WIFSIGNALED(outcome.waitStatus()) && WTERMSIG(outcome.waitStatus()) == SIGKILL);
    EXPECT_EQ(outcome.message, "The plugin runner took longer than 200 ms and was stopped");
}

TEST(PluginCall, ARunnerThatStopsReadingDoesNotEndTheHost) {
    // The runner exits without reading a request far larger than a pipe holds.
    const FakeRunner runner(R"(echo '{"message":"m","state":{},"type":"error"}'; exit 1)");
    const Outcome outcome = runner.call(std::string(16 << 20, ' '));
    EXPECT_EQ(outcome.kind, Outcome::Kind::Error) << outcome.message;
}

TEST(PluginCall, AMissingRunnerCannotBeStarted) {
    EXPECT_THROW(call("{}", CallOptions{}, {"/nonexistent/ZovPluginHost"}), std::system_error);
}

TEST(RequestLine, HoldsTheThreeMembersWithTheInputAsItStands) {
    EXPECT_EQ(requestLine("return {};", "m", R"({"a": [1, 2.50]})"),
              R"({"input":{"a": [1, 2.50]},"method":"m","script":"return {};"})");
    EXPECT_EQ(requestLine("s\n\"x\"", "m/\xC3\xA9"),
              "{\"method\":\"m\\/\xC3\xA9\",\"script\":\"s\\n\\\"x\\\"\"}");
}

TEST(RequestLine, NeverHoldsALineBreak) {
    const std::string line = requestLine("a\r\nb", "m", "[1,\n2\r\n]");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
}

struct InputCase {
    const char* name;
    std::string input;
    bool valid;
};

class RequestInput : public testing::TestWithParam<InputCase> {};

TEST_P(RequestInput, IsTakenExactlyWhenItIsJsonText) {
    const InputCase& test = GetParam();
    if (test.valid)
        EXPECT_NO_THROW(requestLine("", "m", test.input));
    else
        EXPECT_THROW(requestLine("", "m", test.input), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(
    RequestLine, RequestInput,
    testing::Values(
        // Whatever JSON's grammar allows, beyond what a double or a 64-bit integer holds.
        InputCase{"IntegerBeyond64Bits", "18446744073709551616", true},
        InputCase{"ThirtyDigitInteger", "123456789012345678901234567890", true},
        InputCase{"ExponentBeyondADouble", "1e400", true},
        InputCase{"NegativeExponentBeyondADouble", "[-1E-400, 2e+400]", true},
        InputCase{"UnpairedSurrogateEscape", R"({"s": "\ud800"})", true},
        InputCase{"DeepNesting", std::string(100'000, '[') + std::string(100'000, ']'), true},
        InputCase{"WhiteSpaceAround", " \t\r\n{} \n", true}, InputCase{"Scalar", "\"text\"", true},
        // And nothing else.
        InputCase{"Empty", "", false}, InputCase{"Unclosed", "[1", false},
        InputCase{"TwoTexts", "1 2", false}, InputCase{"LeadingZero", "01", false},
        InputCase{"BareMinus", "-", false}, InputCase{"FractionWithoutDigits", "1.", false},
        InputCase{"ExponentWithoutDigits", "1e+", false}, InputCase{"BadEscape", R"("\x")", false},
        InputCase{"ShortUnicodeEscape", R"("\u12")", false},
        InputCase{"RawControlCharacter", "\"a\tb\"", false},
        InputCase{"IllFormedUtf8", "\"\xFF\"", false}, InputCase{"TrailingComma", "[1,]", false},
        InputCase{"MemberWithoutValue", R"({"a":})", false},
        InputCase{"MismatchedClose", "[1}", false},
        InputCase{"DeepAndUnclosed", std::string(100'000, '['), false},
        InputCase{"SingleQuotes", "'a'", false},
        // Line breaks are white space between tokens, and nothing inside a string.
        InputCase{"LineFeedInAString", "{\"a\":\"x\ny\"}", false},
        InputCase{"CarriageReturnInAString", "[\"x\ry\"]", false}),
    CaseName());

// What a runner that floods the host does to it: each is stopped, and the call fails, before the
// host holds more than the caller allows or waits longer than the time limit.
struct FloodCase {
    const char* name;
    std::string runner;
    std::string message;
    bool timedOut;
};

class Floods : public testing::TestWithParam<FloodCase> {};

TEST_P(Floods, AreStoppedWithinTheCallersBounds) {
    const FakeRunner runner(GetParam().runner);
    CallOptions callOptions = FakeRunner::options();
    callOptions.timeLimit = 500ms;
    callOptions.maxLineBytes = 1 << 20;
    callOptions.maxErrorOutputBytes = 64 << 10;
    callOptions.onFetch = [](const std::string&) { return std::optional<std::string>("{}"); };
    const Outcome outcome = runner.call("{}", callOptions);
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_TRUE(outcome.message.starts_with(GetParam().message)) << outcome.message;
    EXPECT_EQ(outcome.timedOut, GetParam().timedOut);
    EXPECT_EQ(outcome.outputLimitExceeded, !GetParam().timedOut);
    EXPECT_LE(outcome.unterminatedOutput.size(), callOptions.maxLineBytes + 1);
    EXPECT_LE(outcome.errorOutput.size(), callOptions.maxErrorOutputBytes + 4096);
    EXPECT_TRUE(WIFSIGNALED(outcome.waitStatus()) && WTERMSIG(outcome.waitStatus()) == SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(
    PluginCall, Floods,
    testing::Values(
        // Well-formed lines without end: only the time limit stops them.
        FloodCase{"FetchLinesWithoutEnd", R"(exec yes '{"request":"r","type":"fetch"}')",
                  "The plugin runner took longer than 500 ms", true},
        FloodCase{"OneEndlessLine", "exec tr '\\0' x < /dev/zero",
                  "The runner wrote a line longer than 1048576 bytes", false},
        FloodCase{"StandardErrorWithoutEnd", "exec yes oops >&2",
                  "The runner wrote more than 65536 bytes on standard error", false}),
    CaseName());

TEST(PluginCall, SplitsManyLinesOfOneReadWhereTheyLie) {
    // Fifty thousand fetch lines in one burst, then the result: each line is handled once, without
    // copying what follows it.
    const FakeRunner runner(
        R"(i=0; while [ $i -lt 50000 ]; do echo '{"request":"r","type":"fetch"}'; i=$((i+1)); done > /tmp/zov-burst.$$
cat /tmp/zov-burst.$$; rm /tmp/zov-burst.$$; echo '{"json":"1","type":"result"}')");
    CallOptions callOptions = FakeRunner::options();
    callOptions.timeLimit = 120s;
    int fetches = 0;
    callOptions.onFetch = [&](const std::string&) {
        ++fetches;
        return std::optional<std::string>("{}");
    };
    const Outcome outcome = runner.call("{}", callOptions);
    EXPECT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(fetches, 50000);
}

TEST(PluginCall, KeepsTheTranscriptOnlyAsFarAsAsked) {
    const FakeRunner runner(R"(echo '{"request":"first","type":"fetch"}'; read a; read b
echo '{"request":"second","type":"fetch"}'; read c
echo '{"json":"1","type":"result"}')");
    CallOptions callOptions = FakeRunner::options();
    callOptions.onFetch = [](const std::string&) { return std::optional<std::string>("{}"); };
    for (const auto& [budget, lines] :
         std::vector<std::pair<size_t, size_t>>{{0, 0}, {40, 1}, {1 << 20, 3}}) {
        callOptions.transcriptBytes = budget;
        const Outcome outcome = runner.call("{}", callOptions);
        EXPECT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
        EXPECT_EQ(outcome.transcript.size(), lines) << budget;
        EXPECT_EQ(outcome.transcriptCut, lines < 3) << budget;
    }
}

} // namespace
} // namespace zov::client
