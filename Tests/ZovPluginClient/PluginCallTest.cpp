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

TEST_P(ProtocolFaults, AreFailuresNotResults) {
    const FakeRunner runner(GetParam().runner);
    const Outcome outcome = runner.call("{}");
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_TRUE(outcome.message.starts_with(GetParam().message)) << outcome.message;
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
        FaultCase{"UnknownType", "echo '{\"type\":\"other\"}'",
                  "The runner wrote a line of unknown type"},
        FaultCase{"ResultWithoutJson", "echo '{\"type\":\"result\"}'",
                  "The runner wrote a result line without"},
        FaultCase{"TwoFinalLines",
                  "echo '{\"json\":\"1\",\"type\":\"result\"}'; echo "
                  "'{\"json\":\"2\",\"type\":\"result\"}'",
                  "The runner wrote a line after its final line"},
        FaultCase{"ResultWithFailureStatus", "echo '{\"json\":\"1\",\"type\":\"result\"}'; exit 1",
                  "The plugin runner wrote a result but ended with exit status 1"},
        FaultCase{"ErrorWithSuccessStatus",
                  "echo '{\"message\":\"m\",\"state\":{},\"type\":\"error\"}'",
                  "The plugin runner wrote an error but ended with exit status 0"},
        FaultCase{"UnterminatedLine", "printf '{\"json\":\"1\",\"type\":\"result\"}'",
                  "The plugin runner's output ended inside a line"}),
    CaseName());

TEST(PluginCall, CollectsResultLinesAndStandardError) {
    const FakeRunner runner(
        "read request; echo oops >&2; echo '{\"json\":\"[1]\",\"type\":\"result\"}'");
    const Outcome outcome = runner.call("{}");
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, "[1]");
    EXPECT_EQ(outcome.errorOutput, "oops\n");
    EXPECT_EQ(outcome.lines, std::vector<std::string>{R"({"json":"[1]","type":"result"})"});
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
    EXPECT_TRUE(WIFSIGNALED(outcome.waitStatus) && WTERMSIG(outcome.waitStatus) == SIGKILL);
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
              "{\"method\":\"m/\xC3\xA9\",\"script\":\"s\\n\\\"x\\\"\"}");
}

TEST(RequestLine, NeverHoldsALineBreak) {
    const std::string line = requestLine("a\r\nb", "m", "[1,\n2\r\n]");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
}

TEST(RequestLine, RefusesInputThatIsNotJson) {
    EXPECT_THROW(requestLine("", "m", "[1"), std::invalid_argument);
    EXPECT_THROW(requestLine("", "m", ""), std::invalid_argument);
}

} // namespace
} // namespace zov::client
