// Successful calls: the method's value comes back as JSON text in one result line.

#include "CaseName.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

struct ResultCase {
    const char* name;
    std::string body; // the body of method `m(input)`
    std::optional<std::string> input;
    std::string json; // the expected JSON text
};

class Results : public ::testing::TestWithParam<ResultCase> {};

TEST_P(Results, ComeBackAsJsonTextInOneResultLine) {
    const ResultCase& test = GetParam();
    const Outcome outcome = runPlugin(method(test.body), "m", test.input);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.message;
    EXPECT_EQ(outcome.json, test.json);
    EXPECT_EQ(outcome.transcript.size(), 1u);
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus()) && WEXITSTATUS(outcome.waitStatus()) == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, Results,
    ::testing::Values(
        // Falsy values are results like any other.
        ResultCase{"Zero", "return 0;", {}, "0"}, ResultCase{"False", "return false;", {}, "false"},
        ResultCase{"Null", "return null;", {}, "null"},
        ResultCase{"EmptyString", "return '';", {}, "\"\""},
        ResultCase{"NegativeZero", "return -0;", {}, "0"},
        ResultCase{"NaN", "return NaN;", {}, "null"},
        ResultCase{"NestedObject",
                   "return {a: [1, {b: null}], c: {d: 'e'}};",
                   {},
                   R"({"a":[1,{"b":null}],"c":{"d":"e"}})"},
        ResultCase{"StringWithSolidus", "return 'a/b</script>';", {}, R"("a/b</script>")"},
        ResultCase{"NonAscii",
                   "return '\\u00e9\\u4e2d\\ud83d\\ude00';",
                   {},
                   "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
        ResultCase{"ControlCharacters",
                   "return '\\u0000\\u0001\\n\\t\"\\\\';",
                   {},
                   R"("\u0000\u0001\n\t\"\\")"},
        ResultCase{"LoneSurrogateIsEscapedByTheEngine", "return '\\ud800';", {}, R"("\ud800")"},
        ResultCase{"ToJsonIsHonoured", "return {toJSON() { return [1]; }};", {}, "[1]"},
        ResultCase{"CaughtExceptionsNeverReachTheRunner",
                   "try { throw {state: {x: 'y'}}; } catch (e) {} return 'ok';",
                   {},
                   R"("ok")"},
        ResultCase{"ThisIsThePlugin", "return Object.keys(this);", {}, R"(["m"])"},
        // A replaced JSON.stringify is the plugin's business as long as it gives JSON text.
        ResultCase{"ReplacedStringifyGivingJsonText",
                   "JSON.stringify = (v) => ' [ ' + v + ' ] '; return 7;",
                   {},
                   " [ 7 ] "},
        // What the method receives as its one argument.
        ResultCase{"MissingInputIsAnEmptyObject",
                   "return [typeof input, JSON.stringify(input), arguments.length];",
                   {},
                   R"(["object","{}",1])"},
        ResultCase{"NullInput", "return [input === null, arguments.length];", "null", "[true,1]"},
        ResultCase{"NumberInput", "return input * 2;", "21", "42"},
        ResultCase{"StringInput", "return input + '!';", R"("h\u00e9")", "\"h\xC3\xA9!\""},
        ResultCase{"BooleanInput", "return !input;", "true", "false"},
        ResultCase{"ArrayInput", "return Array.isArray(input) && input.length;", "[1,[2],{}]", "3"},
        ResultCase{"ObjectInput", "return input.a.b;", R"({"a":{"b":"c"}})", R"("c")"},
        ResultCase{"EmptyObjectInput", "return Object.keys(input).length;", "{}", "0"},
        ResultCase{"InputNulCharacter", "return input.length;", R"("a\u0000b")", "3"},
        ResultCase{"ProtoKeyIsAnOwnMember", "return Object.keys(input);",
                   R"({"__proto__":{"x":1}})", R"(["__proto__"])"}),
    CaseName());

struct LineCase {
    const char* name;
    std::string body;
    std::string line; // the exact result line, without its line feed
};

class ResultLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ResultLines, AreWrittenByteForByte) {
    const Outcome outcome = runPlugin(method(GetParam().body), "m");
    ASSERT_EQ(outcome.transcript.size(), 1u) << outcome.message;
    EXPECT_EQ(outcome.transcript[0], GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, ResultLines,
    ::testing::Values(LineCase{"Number", "return 0;", R"({"json":"0","type":"result"})"},
                      LineCase{"EmptyString", "return '';", R"({"json":"\"\"","type":"result"})"},
                      LineCase{"SolidusIsEscaped", "return {u: 'a/b'};",
                               R"({"json":"{\"u\":\"a\/b\"}","type":"result"})"},
                      LineCase{
                          "NonAsciiIsRawUtf8", "return '\\u00e9\\ud83d\\ude00';",
                          "{\"json\":\"\\\"\xC3\xA9\xF0\x9F\x98\x80\\\"\",\"type\":\"result\"}"},
                      LineCase{"EscapesAreEscapedAgain", "return 'a\\nb\\u0001';",
                               R"({"json":"\"a\\nb\\u0001\"","type":"result"})"},
                      LineCase{"LineSeparatorsStayRaw", "return '\\u2028';",
                               "{\"json\":\"\\\"\xE2\x80\xA8\\\"\",\"type\":\"result\"}"}),
    CaseName());

TEST(Runner, RequestMembersBeyondTheThreeAreIgnored) {
    const Outcome outcome = runRequest(
        R"({"extra":[1,2],"method":"m","script":"return {m(i) { return i; }};","input":7,"z":{}})");
    EXPECT_EQ(outcome.json, "7");
}

TEST(Runner, TheLastMemberOfARepeatedKeyCounts) {
    const Outcome outcome =
        runRequest(R"({"method":"x","method":"m","script":"return {m() { return 1; }};"})");
    EXPECT_EQ(outcome.json, "1");
}

TEST(Runner, AcceptsARequestEndedByCarriageReturnAndLineFeed) {
    const Outcome outcome = runRequest(R"({"method":"m","script":"return {m() { return 2; }};"})"
                                       "\r");
    EXPECT_EQ(outcome.json, "2");
}

TEST(Runner, PluginDeclarationsStayInsideThePluginFunction) {
    const Outcome outcome = runPlugin("const secret = 1; var shared = 2;\n"
                                      "return {m() { return [typeof globalThis.secret,"
                                      " typeof globalThis.shared, typeof zov.session.fetch,"
                                      " Object.isFrozen(zov), Object.isFrozen(zov.session)]; }};",
                                      "m");
    EXPECT_EQ(outcome.json, R"(["undefined","undefined","function",true,true])");
}

TEST(Runner, ThePluginSourceEndingInALineCommentStillCloses) {
    const Outcome outcome =
        runPlugin("return {m() { return 3; }}; // no line feed after this", "m");
    EXPECT_EQ(outcome.json, "3");
}

TEST(Runner, MethodAndInputDoNotExistWhileThePluginLoads) {
    const Outcome outcome = runPlugin("const seen = [typeof __method, typeof __input];\n"
                                      "return {m() { return [seen, typeof __method]; }};",
                                      "m");
    EXPECT_EQ(outcome.json, R"([["undefined","undefined"],"string"])");
}

} // namespace
} // namespace zov::test
