// Failed calls: exactly one error line with the message and the plugin state,
// and exit status 1.

#include "CaseName.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

using State = std::map<std::string, std::string>;

void expectErrorLine(const Outcome& outcome) {
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error) << outcome.message;
    EXPECT_EQ(outcome.transcript.size(), 1u);
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus()) && WEXITSTATUS(outcome.waitStatus()) == 1);
}

struct ErrorCase {
    const char* name;
    std::string script;
    std::string method;
    std::string message; // exact, or the beginning when `prefixOnly`
    State state = {};
    bool prefixOnly = false;
};

class PluginErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PluginErrors, EndInOneErrorLine) {
    const ErrorCase& test = GetParam();
    const Outcome outcome = runPlugin(test.script, test.method);
    expectErrorLine(outcome);
    if (test.prefixOnly)
        EXPECT_TRUE(outcome.message.starts_with(test.message)) << outcome.message;
    else
        EXPECT_EQ(outcome.message, test.message);
    EXPECT_EQ(outcome.state, test.state);
}

const std::string plugin = "return {m() { return 1; }, notAFunction: 5};";

INSTANTIATE_TEST_SUITE_P(
    MethodLookup, PluginErrors,
    ::testing::Values(
        ErrorCase{"Unknown", plugin, "missing", "Error: Unknown plugin method"},
        ErrorCase{"Empty", plugin, "", "Error: Unknown plugin method"},
        ErrorCase{"InheritedToString", plugin, "toString", "Error: Unknown plugin method"},
        ErrorCase{"InheritedConstructor", plugin, "constructor", "Error: Unknown plugin method"},
        ErrorCase{"Proto", plugin, "__proto__", "Error: Unknown plugin method"},
        ErrorCase{"NotAFunction", plugin, "notAFunction", "Error: Unknown plugin method"},
        ErrorCase{"ClassInstanceMethod", "class P { m() { return 1; } } return new P();", "m",
                  "Error: Unknown plugin method"},
        ErrorCase{"PluginReturnsNothing", "", "m", "TypeError", {}, true},
        ErrorCase{"PluginReturnsNull", "return null;", "m", "TypeError", {}, true}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Results, PluginErrors,
    ::testing::Values(
        ErrorCase{"Undefined", method("return undefined;"), "m",
                  "Error: Plugin returned no result"},
        ErrorCase{"NoReturn", method(""), "m", "Error: Plugin returned no result"},
        ErrorCase{"Function", method("return () => 1;"), "m", "Error: Plugin returned no result"},
        ErrorCase{"Symbol", method("return Symbol('s');"), "m", "Error: Plugin returned no result"},
        ErrorCase{"Promise", method("return Promise.resolve(1);"), "m",
                  "Error: Plugin methods must return synchronously"},
        ErrorCase{"Thenable", method("return {then() {}};"), "m",
                  "Error: Plugin methods must return synchronously"},
        ErrorCase{"AsyncMethod", "return {async m() { return 1; }};", "m",
                  "Error: Plugin methods must return synchronously"},
        ErrorCase{"Cycle", method("const a = {}; a.a = a; return a;"), "m", "TypeError", {}, true},
        ErrorCase{"BigInt", method("return 1n;"), "m", "TypeError", {}, true},
        ErrorCase{"ThrowingToJson", method("return {toJSON() { throw new Error('j'); }};"), "m",
                  "Error: j"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Throws, PluginErrors,
    ::testing::Values(
        ErrorCase{"String", method("throw 'plain text / \\u00e9';"), "m", "plain text / \xC3\xA9"},
        ErrorCase{"EmptyString", method("throw '';"), "m", ""},
        // The message is the thrown value's string form, whole, U+0000 and what follows included.
        ErrorCase{"StringWithNul", method("throw 'A\\u0000B';"), "m", std::string("A\0B", 3)},
        ErrorCase{"ErrorWithNul", method("throw new Error('\\u0000x\\u0000');"), "m",
                  std::string("Error: \0x\0", 10)},
        ErrorCase{"StateWithNul", method("throw {state: {'k\\u0000': 'v\\u0000w'}};"), "m",
                  "[object Object]", State{{std::string("k\0", 2), std::string("v\0w", 3)}}},
        ErrorCase{"Error", method("throw new Error('went wrong');"), "m", "Error: went wrong"},
        ErrorCase{"TypeError", method("null.x;"), "m", "TypeError", {}, true},
        ErrorCase{"ErrorSubclass",
                  "class E extends Error { constructor() { super('s'); this.name = 'Custom'; } }"
                  " return {m() { throw new E(); }};",
                  "m", "Custom: s"},
        ErrorCase{"Number", method("throw 42;"), "m", "42"},
        ErrorCase{"Null", method("throw null;"), "m", "null"},
        ErrorCase{"Undefined", method("throw undefined;"), "m", "undefined"},
        ErrorCase{"Symbol", method("throw Symbol('s');"), "m", "JavaScript exception"},
        ErrorCase{"PlainObjectWithState", method("throw {state: {b: '2', a: '1'}};"), "m",
                  "[object Object]", State{{"a", "1"}, {"b", "2"}}},
        ErrorCase{"ErrorWithState",
                  method("const e = new Error('e'); e.state = {k: 'v'}; throw e;"), "m", "Error: e",
                  State{{"k", "v"}}},
        ErrorCase{"StateWithANumberIsDroppedWhole", method("throw {state: {a: '1', b: 2}};"), "m",
                  "[object Object]"},
        ErrorCase{"StateWithAStringObjectIsDropped", method("throw {state: {a: new String('1')}};"),
                  "m", "[object Object]"},
        ErrorCase{"StateThatIsAString", method("throw {state: 'abc'};"), "m", "[object Object]"},
        ErrorCase{"StateThatIsNull", method("throw {state: null};"), "m", "[object Object]"},
        ErrorCase{"EmptyState", method("throw {state: {}};"), "m", "[object Object]"},
        ErrorCase{"StateWithNonAsciiAndEmptyMembers",
                  method("throw {state: {'\\u00e9': '', '': '\\n/'}};"), "m", "[object Object]",
                  State{{"", "\n/"}, {"\xC3\xA9", ""}}},
        ErrorCase{"InheritedStateMembersCount",
                  method("throw {state: Object.create({inherited: 'i'}, "
                         "{own: {value: 'o', enumerable: true}, hidden: {value: 1}})};"),
                  "m", "[object Object]", State{{"inherited", "i"}, {"own", "o"}}},
        ErrorCase{"ThrowingToString", method("throw {toString() { throw new Error('t'); }};"), "m",
                  "JavaScript exception"},
        ErrorCase{"ThrowingToStringKeepsItsState",
                  method("throw {toString() { throw 1; }, state: {s: 'kept'}};"), "m",
                  "JavaScript exception", State{{"s", "kept"}}},
        ErrorCase{"ThrowingStateMemberGetter",
                  method("throw {state: {get a() { throw new Error('g'); }}};"), "m", "Error: g"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Loading, PluginErrors,
    ::testing::Values(
        ErrorCase{"SyntaxError", "return {m() { return 1; }", "m", "SyntaxError", {}, true},
        ErrorCase{"ThrowAtLoadTime", "throw new Error('load');", "m", "Error: load"},
        ErrorCase{"StringWithNulAtLoadTime", "throw 'x\\u0000y';", "m", std::string("x\0y", 3)},
        ErrorCase{"StateAtLoadTime", "throw {state: {phase: 'load'}};", "m", "[object Object]",
                  State{{"phase", "load"}}},
        ErrorCase{"ReferenceErrorAtLoadTime", "undefinedName();", "m", "ReferenceError", {}, true},
        ErrorCase{"RecursionToTheStackLimit",
                  "function f() { return f() + 1; } f();",
                  "m",
                  "RangeError",
                  {},
                  true},
        ErrorCase{"RecursionInTheMethod",
                  method("const f = (n) => f(n + 1) + 1; return f(0);"),
                  "m",
                  "RangeError",
                  {},
                  true}),
    CaseName());

// The host relies on the result's `json` being JSON text: a plugin that
// replaced JSON.stringify, or JSON, with something that returns other text
// fails the call instead of reporting that text as its result.
INSTANTIATE_TEST_SUITE_P(
    ReplacedJson, PluginErrors,
    ::testing::Values(
        ErrorCase{"StringifyReturnsAnObject", "JSON.stringify = () => ({}); " + plugin, "m",
                  "Plugin result is not JSON text"},
        ErrorCase{"StringifyReturnsText", method("JSON.stringify = () => 'not JSON'; return 1;"),
                  "m", "Plugin result is not JSON text"},
        ErrorCase{"StringifyReturnsAnEmptyString", method("JSON.stringify = () => ''; return 1;"),
                  "m", "Plugin result is not JSON text"},
        ErrorCase{"StringifyReturnsTwoValues", method("JSON.stringify = () => '1 2'; return 1;"),
                  "m", "Plugin result is not JSON text"},
        ErrorCase{"StringifyCutsItsText",
                  method("const s = JSON.stringify; JSON.stringify = (v) => s(v).slice(0, -1);"
                         " return {a: [1]};"),
                  "m", "Plugin result is not JSON text"},
        ErrorCase{"GlobalJsonReplaced",
                  method("globalThis.JSON = {stringify: () => '{\"a\":'}; return 1;"), "m",
                  "Plugin result is not JSON text"},
        ErrorCase{"GetterThatRestoresTheOriginal",
                  method("const real = JSON; Object.defineProperty(globalThis, 'JSON',"
                         " {configurable: true, get() { Object.defineProperty(globalThis, 'JSON',"
                         " {value: real, configurable: true, writable: true});"
                         " return {stringify: () => 'undefined'}; }}); return 1;"),
                  "m", "Plugin result is not JSON text"}),
    CaseName());

TEST(PluginErrors, AMessageWithNulIsEscapedInTheErrorLine) {
    const Outcome outcome = runPlugin(method("throw 'A\\u0000B';"), "m");
    expectErrorLine(outcome);
    EXPECT_EQ(outcome.transcript.at(0), R"({"message":"A\u0000B","state":{},"type":"error"})");
}

TEST(PluginErrors, TheLastExceptionDecidesMessageAndState) {
    // The plugin throws with a state, catches nothing, but an earlier caught
    // exception must not leak its state into the report.
    const Outcome outcome = runPlugin(method("try { null.x; } catch (e) {}\n"
                                             "throw {state: {last: 'yes'}};"),
                                      "m");
    expectErrorLine(outcome);
    EXPECT_EQ(outcome.message, "[object Object]");
    EXPECT_EQ(outcome.state, (State{{"last", "yes"}}));
}

TEST(PluginErrors, StateGettersThatThrowForeverStillEndInOneLine) {
    // Each state getter throws a new value whose own getter throws again.
    const Outcome outcome = runPlugin(
        "class E { get state() { throw new E(); } } return {m() { throw new E(); }};", "m");
    expectErrorLine(outcome);
    EXPECT_EQ(outcome.message, "[object Object]");
    EXPECT_EQ(outcome.state, State{});
}

TEST(PluginErrors, AProxyStateThatRefusesItsKeysLeavesTheStateEmpty) {
    const Outcome outcome = runPlugin(
        method("throw {state: new Proxy({}, {ownKeys() { throw new Error('k'); }})};"), "m");
    expectErrorLine(outcome);
    EXPECT_EQ(outcome.state, State{});
}

} // namespace
} // namespace zov::test
