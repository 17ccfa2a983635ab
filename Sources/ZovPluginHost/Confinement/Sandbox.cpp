#include "Sandbox.h"

#include "ByteBuffer.h"
#include "Confinement.h"
#include "JsonWriter.h"
#include "RunnerError.h"
#include "Scripts.h"

#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace zov {
namespace {

// Whether the host has written to standard input already: a cold call,
// whose request waits in the pipe.
bool requestIsWaiting() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
}

// A plugin call rehearsed in a context of its own that is thrown away: the
// engine compiles and pages in what a call runs (the prelude, a method call,
// a fetch, JSON both ways, the result's conversion) while the runner still
// waits for its request, instead of after it arrived. Nothing of it reaches
// the plugin's context, and the host hears nothing of it.
void rehearseCall(const engine::Context& context) {
    std::unique_ptr<engine::Context> stage = context.createSibling();
    if (!stage)
        return;
    stage->setGlobal("__sessionFetch",
                     [](const engine::String&) { return engine::String::fromAscii("{}"); });
    const std::string script = std::string(scripts::prelude) +
                               "return {m(input) { return [input, zov.session.fetch('u')]; }};" +
                               std::string(scripts::suffix);
    stage->evaluate(engine::String::fromUtf8(script));
    stage->setGlobal("__method", engine::String::fromAscii("m"));
    auto input = stage->parseJson(engine::String::fromAscii(R"({"a":[1,"/"]})"));
    if (const auto* value = std::get_if<engine::Value>(&input))
        stage->setGlobal("__input", *value);
    const std::optional<engine::Value> result =
        stage->evaluate(engine::String::fromUtf8(scripts::invocation));
    if (const std::optional<engine::String> json =
            result ? stage->toString(*result) : std::nullopt) {
        ByteBuffer line;
        json->appendUtf8(line);
        escapeJsonStringInPlace(line, 0);
    }
}

} // namespace

void enterSandbox(engine::Context& context) {
    // The warm-up makes the engine load what it would otherwise fetch from
    // disk later. No exception handler is installed yet, so whatever it
    // returns or throws is seen by nothing.
    context.evaluate(engine::String::fromUtf8(scripts::warmUp));
    // A runner started ahead of time has time to spare; a cold call would
    // only do the same work twice.
    if (!requestIsWaiting())
        rehearseCall(context);

    std::optional<std::string> errorText;
    if (confineProcess(errorText) != 0)
        throw RunnerError("Sandbox failed: " + errorText.value_or("unknown"));
}

} // namespace zov
