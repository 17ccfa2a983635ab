// Fetches: each zov.session.fetch becomes one fetch line, answered by exactly
// one reply line that the plugin gets back.

#include "CaseName.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

struct ReplyCase {
    const char* name;
    std::optional<std::string> reply; // none: the host closes the runner's input
    Outcome::Kind kind;
    std::string expected; // the result's JSON text, or the error message (or its start)
    bool prefixOnly = false;
};

class Replies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Replies, ReachThePluginAsTheFetchResult) {
    const ReplyCase& test = GetParam();
    ScriptedHost host{{test.reply}, {}};
    const Outcome outcome = runPlugin(method("return zov.session.fetch('https://example.com/a');"),
                                      "m", {}, host.handler());
    ASSERT_EQ(outcome.kind, test.kind) << outcome.message;
    const std::string& actual = test.kind == Outcome::Kind::Result ? outcome.json : outcome.message;
    if (test.prefixOnly)
        EXPECT_TRUE(actual.starts_with(test.expected)) << actual;
    else
        EXPECT_EQ(actual, test.expected);
    EXPECT_EQ(host.requests, std::vector<std::string>{R"({"url":"https://example.com/a"})"});
    ASSERT_EQ(outcome.transcript.size(), 2u);
    EXPECT_EQ(outcome.transcript[0],
              R"({"request":"{\"url\":\"https:\/\/example.com\/a\"}","type":"fetch"})");
}

using Kind = Outcome::Kind;

INSTANTIATE_TEST_SUITE_P(
    Fetch, Replies,
    ::testing::Values(
        ReplyCase{"EmptyObject", "{}", Kind::Result, "{}"},
        ReplyCase{"WholeReplyWithItsMembers", R"({"status":200,"body":{"a":[1,"/"]}})",
                  Kind::Result, R"({"status":200,"body":{"a":[1,"/"]}})"},
        ReplyCase{"ErrorMember", R"({"error":"denied by host"})", Kind::Error,
                  "Error: denied by host"},
        ReplyCase{"EmptyErrorIsNoError", R"({"error":"","x":1})", Kind::Result,
                  R"({"error":"","x":1})"},
        ReplyCase{"FalseErrorIsNoError", R"({"error":false})", Kind::Result, R"({"error":false})"},
        ReplyCase{"ZeroErrorIsNoError", R"({"error":0})", Kind::Result, R"({"error":0})"},
        ReplyCase{"ObjectError", R"({"error":{"code":1}})", Kind::Error, "Error: [object Object]"},
        ReplyCase{"Array", "[1,2]", Kind::Result, "[1,2]"},
        ReplyCase{"Null", "null", Kind::Error, "TypeError", true},
        ReplyCase{"EmptyLine", "", Kind::Error, "SyntaxError", true},
        ReplyCase{"NotJson", "not json", Kind::Error, "SyntaxError", true},
        ReplyCase{"CarriageReturnIsRemoved", "{\"a\":1}\r", Kind::Result, R"({"a":1})"},
        ReplyCase{"NonAsciiAndEscapes", "{\"t\":\"\xC3\xA9\\u0000\\n\"}", Kind::Result,
                  "{\"t\":\"\xC3\xA9\\u0000\\n\"}"},
        ReplyCase{"IllFormedUtf8", "{\"t\":\"\xFF\"}", Kind::Result, "{\"t\":\"\xEF\xBF\xBD\"}"},
        ReplyCase{"InputClosed", std::nullopt, Kind::Error, "Error: Session transport closed"}),
    CaseName());

struct RequestCase {
    const char* name;
    std::string body;
    std::string request; // what the host receives as the fetch's request
};

class FetchRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(FetchRequests, ReachTheHostUnchanged) {
    ScriptedHost host{{R"({"ok":true})"}, {}};
    const Outcome outcome = runPlugin(method(GetParam().body), "m", {}, host.handler());
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(host.requests, std::vector<std::string>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(
    Fetch, FetchRequests,
    ::testing::Values(
        RequestCase{"UrlFirstThenOptions",
                    "return zov.session.fetch('https://h/p?q=1', {method: 'POST', "
                    "headers: {a: 'b'}, body: 'x'});",
                    R"({"url":"https://h/p?q=1","method":"POST","headers":{"a":"b"},"body":"x"})"},
        RequestCase{"UrlInOptionsReplacesTheArgument",
                    "return zov.session.fetch('a', {url: 'b', n: 1});", R"({"url":"b","n":1})"},
        RequestCase{"DirectBridgeCallPassesTheTextUnchanged",
                    "return __sessionFetch('plain \\u0000 text\\n/');",
                    std::string("plain \0 text\n/", 14)},
        RequestCase{"DirectBridgeCallWithoutArgument", "return __sessionFetch();", ""},
        RequestCase{"DirectBridgeCallWithANumber", "return __sessionFetch(12);", "12"},
        RequestCase{"LoneSurrogateBecomesAReplacementCharacter",
                    "return __sessionFetch('a\\ud800b');",
                    "a\xEF\xBF\xBD"
                    "b"}),
    CaseName());

TEST(Fetch, TheBridgeHandsTheReplyBackUnparsed) {
    ScriptedHost host{{"  {\"a\" : 1}  "}, {}};
    const Outcome outcome =
        runPlugin(method("return __sessionFetch('x');"), "m", {}, host.handler());
    EXPECT_EQ(outcome.json, R"("  {\"a\" : 1}  ")");
}

TEST(Fetch, AnArgumentThatCannotBecomeTextThrowsIntoTheScript) {
    ScriptedHost host;
    const Outcome outcome =
        runPlugin(method("try { __sessionFetch({toString() { throw new Error('arg'); }}); }"
                         " catch (e) { return String(e); }"),
                  "m", {}, host.handler());
    EXPECT_EQ(outcome.json, R"("Error: arg")");
    EXPECT_TRUE(host.requests.empty());
}

TEST(Fetch, RepliesAnswerFetchesInOrder) {
    ScriptedHost host{{R"({"n":1})", R"({"n":2})", R"({"n":3})"}, {}};
    const Outcome outcome =
        runPlugin(method("return [1, 2, 3].map((i) => zov.session.fetch('u' + i).n);"), "m", {},
                  host.handler());
    EXPECT_EQ(outcome.json, "[1,2,3]");
    EXPECT_EQ(host.requests,
              (std::vector<std::string>{R"({"url":"u1"})", R"({"url":"u2"})", R"({"url":"u3"})"}));
    EXPECT_EQ(outcome.transcript.size(), 4u);
}

TEST(Fetch, WorksWhileThePluginLoads) {
    ScriptedHost host{{R"({"v":"loaded"})", R"({"v":"called"})"}, {}};
    const Outcome outcome =
        runPlugin("const first = zov.session.fetch(typeof __method).v;\n"
                  "return {m() { return [first, zov.session.fetch(typeof __method).v]; }};",
                  "m", {}, host.handler());
    EXPECT_EQ(outcome.json, R"(["loaded","called"])");
    EXPECT_EQ(host.requests,
              (std::vector<std::string>{R"({"url":"undefined"})", R"({"url":"string"})"}));
}

TEST(Fetch, EveryFetchAfterTheInputClosedStillWritesItsLine) {
    ScriptedHost host; // closes the input at the first fetch
    const Outcome outcome = runPlugin(
        method("const seen = [];\n"
               "for (let i = 0; i < 3; ++i) {\n"
               "    try { zov.session.fetch('u' + i); } catch (e) { seen.push(e.message); }\n"
               "}\n"
               "return seen;"),
        "m", {}, host.handler());
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, R"(["Session transport closed","Session transport closed",)"
                            R"("Session transport closed"])");
    EXPECT_EQ(host.requests.size(), 3u);
    EXPECT_EQ(outcome.transcript.size(), 4u);
}

TEST(Fetch, TheBridgeOwnRepliesAreTheExactTexts) {
    ScriptedHost host;
    const Outcome outcome =
        runPlugin(method("return __sessionFetch('x');"), "m", {}, host.handler());
    EXPECT_EQ(outcome.json, R"("{\"error\":\"Session transport closed\"}")");
}

TEST(Fetch, AHostThatClosesTheRunnersOutputEndsItWithStatusOne) {
    for (const char* body : {"try { zov.session.fetch('u'); } catch (e) {} return 1;",
                             "return zov.session.fetch('u');", "return 1;"}) {
        const std::string request = client::requestLine(method(body), "m") + "\n";
        const RawRun run = runRaw(request, /*closeOutput=*/true);
        EXPECT_TRUE(WIFEXITED(run.waitStatus)) << body;
        EXPECT_EQ(WEXITSTATUS(run.waitStatus), 1) << body;
        EXPECT_EQ(run.errors, "") << body;
    }
}

} // namespace
} // namespace zov::test
