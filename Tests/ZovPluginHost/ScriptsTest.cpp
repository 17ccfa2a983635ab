// The fixed script texts at work in a fresh engine context: the prelude and the suffix around a
// plugin body, the invocation expression after them, and the warm-up before everything.

#include "Scripts.h"
#include "CaseName.h"
#include "Engine.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

namespace {

using zov::engine::Context;
using zov::engine::String;

class FixedScripts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(context, nullptr);
        context->setExceptionHandler([this](Context& engine, const zov::engine::Value* thrown) {
            const auto text = thrown ? engine.toString(*thrown) : std::nullopt;
            exception = text ? zov::utf16ToUtf8(text->view()) : "?";
        });
        context->setGlobal("__sessionFetch", [](const String& request) { return request; });
    }

    // The string form of the script's value, or "threw: " and the exception's.
    std::string evaluate(std::string_view script) {
        exception.clear();
        const auto value = context->evaluate(String::fromUtf16(zov::utf8ToUtf16(script)));
        if (!exception.empty())
            return "threw: " + exception;
        const auto text = value ? context->toString(*value) : std::nullopt;
        return text ? zov::utf16ToUtf8(text->view()) : "no value";
    }

    // Loads the plugin whose source is `body` the way the runner does.
    std::string load(std::string_view body) {
        return evaluate(std::string(zov::scripts::prelude) + std::string(body) +
                        std::string(zov::scripts::suffix));
    }

    // Calls `method` of the loaded plugin with the input `inputExpression`.
    std::string invoke(const char* method, std::string_view inputExpression) {
        context->setGlobal("__method", String::fromAscii(method));
        evaluate("globalThis.__input = " + std::string(inputExpression) + ";");
        return evaluate(zov::scripts::invocation);
    }

    std::unique_ptr<Context> context = Context::create();
    std::string exception;
};

TEST_F(FixedScripts, ThePluginIsWhatItsSourceReturnsAndItsMethodsAreCalledOnIt) {
    EXPECT_EQ(load("const offset = 1;\nreturn {m(x) { return [x.n + offset, this === plugin]; }};"),
              "undefined");
    EXPECT_EQ(invoke("m", "{n: 41}"), "[42,true]");
    EXPECT_EQ(evaluate("typeof offset"), "undefined");
}

TEST_F(FixedScripts, ThePluginSourceStandsOnLinesOfItsOwn) {
    // The prelude's six lines come first; a last line comment does not swallow the suffix.
    EXPECT_EQ(load("const line = new Error().line;\nreturn {line}; // the end"), "undefined");
    EXPECT_EQ(evaluate("plugin.line"), "7");
}

TEST_F(FixedScripts, FetchHandsTheBridgeTheUrlFirstAndParsesWhatComesBack) {
    // This bridge answers with the request itself.
    load("return {m() { return zov.session.fetch('u', {url: 'v', a: [1]}); },"
         " refused() { return zov.session.fetch('u', {error: 'no'}); }};");
    EXPECT_EQ(invoke("m", "{}"), R"({"url":"v","a":[1]})");
    EXPECT_EQ(invoke("refused", "{}"), "threw: Error: no");
    EXPECT_EQ(evaluate("Object.isFrozen(zov) && Object.isFrozen(zov.session)"), "true");
}

struct InvocationCase {
    const char* name;
    const char* source;
    const char* method;
    const char* result;
};

class Invocation : public FixedScripts, public testing::WithParamInterface<InvocationCase> {};

TEST_P(Invocation, GivesTheResultsJsonTextOrThrows) {
    load(GetParam().source);
    EXPECT_EQ(invoke(GetParam().method, "null"), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    FixedScripts, Invocation,
    testing::Values(InvocationCase{"Result", "return {m(x) { return {x}; }};", "m",
                                   R"({"x":null})"},
                    InvocationCase{"FalsyResult", "return {m() { return 0; }};", "m", "0"},
                    InvocationCase{"InheritedMember", "return {};", "toString",
                                   "threw: Error: Unknown plugin method"},
                    InvocationCase{"Promise", "return {m() { return Promise.resolve(); }};", "m",
                                   "threw: Error: Plugin methods must return synchronously"},
                    InvocationCase{"Undefined", "return {m() {}};", "m",
                                   "threw: Error: Plugin returned no result"}),
    zov::test::CaseName());

TEST_F(FixedScripts, TheWarmUpThrowsNothingAndDeclaresNothing) {
    const std::string globals = "Object.getOwnPropertyNames(globalThis).join()";
    const std::string before = evaluate(globals);
    EXPECT_EQ(evaluate(zov::scripts::warmUp), "\xF0\x9F\x98\x80");
    EXPECT_EQ(evaluate(globals), before);
}

} // namespace
