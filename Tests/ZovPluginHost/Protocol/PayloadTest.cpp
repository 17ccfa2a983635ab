// Large payloads travel byte for byte, in every direction.

#include "HugeText.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

// JSON text of a string of about `bytes` bytes, written the way JSON.stringify
// writes it, so that a round trip must give it back unchanged.
std::string largeJsonString(size_t bytes) {
    static const std::string piece = "plain ASCII / \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80 \\n\\\" ";
    std::string text = "\"";
    text.reserve(bytes + piece.size() + 2);
    while (text.size() < bytes)
        text += piece;
    text += '"';
    return text;
}

TEST(Payloads, ALargeInputComesBackAsTheResult) {
    const std::string input = largeJsonString(30u << 20);
    const Outcome outcome = runPlugin(method("return input;"), "m", input);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_TRUE(outcome.json == input);
}

TEST(Payloads, ALargeReplyReachesThePlugin) {
    const std::string data = largeJsonString(30u << 20);
    ScriptedHost host{{"{\"data\":" + data + "}"}, {}};
    const Outcome outcome =
        runPlugin(method("return zov.session.fetch('u').data;"), "m", {}, host.handler());
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_TRUE(outcome.json == data);
}

TEST(Payloads, ALargeFetchRequestReachesTheHost) {
    ScriptedHost host{{"{}"}, {}};
    const Outcome outcome =
        runPlugin(method("return __sessionFetch('\\u00e9/'.repeat(8 << 20)).length;"), "m", {},
                  host.handler());
    EXPECT_EQ(outcome.json, "2");
    ASSERT_EQ(host.requests.size(), 1u);
    std::string expected;
    for (int i = 0; i < (8 << 20); ++i)
        expected += "\xC3\xA9/";
    EXPECT_TRUE(host.requests[0] == expected);
}

TEST(Payloads, ARequestLineOfHundredsOfMegabytes) {
    std::string script = "/*" + std::string(200u << 20, '*') + "*/ return {m() { return 1; }};";
    // The engine holds a plugin's source several times over while it compiles it: this one
    // needs about 1.6 GiB, more than a runner may use by default.
    client::CallOptions callOptions = options();
    callOptions.memoryLimit.bytes = size_t{4} << 30;
    const Outcome outcome = client::call(client::requestLine(script, "m"), callOptions);
    expectWellFormed(outcome);
    EXPECT_EQ(outcome.json, "1");
}

TEST(Payloads, AMalformedRequestOfHundredsOfMegabytes) {
    const Outcome outcome = runRequest("{\"script\":\"" + std::string(200u << 20, 'x'));
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error);
    EXPECT_TRUE(outcome.state.empty());
}

// 2^31 bytes of ASCII, one code unit more than the engine's strings hold. The
// runner reads the whole line (2 GiB of memory), then refuses it with the error
// that a line too long in UTF-16 gets: the engine never sees it.
TEST(Payloads, ALineOfMoreAsciiThanTheEngineHoldsIsRefused) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer would track every byte of the 2 GiB that this test writes, "
                    "in several times that much memory; the runner, which it does not check, is "
                    "tested by the other builds";
#endif
    const HugeText line(size_t{1} << 31, 'a', '\n');
    ASSERT_TRUE(line.mapped());
    const RawRun run = runRaw(std::string_view(line.data(), line.text().size() + 1));
    EXPECT_EQ(run.output, errorLineOf("Text too long for the script engine"));
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(WIFEXITED(run.waitStatus) && WEXITSTATUS(run.waitStatus) == 1);
}

} // namespace
} // namespace zov::test
