// ZovPluginHost: runs one method of one plugin, then exits.
//
// The host writes one request line on standard input, answers every fetch
// line, and reads exactly one final line: a result line (exit status 0) or an
// error line (exit status 1). Standard error is never written.

#include "AddressSpaceLimit.h"
#include "Engine.h"
#include "EngineSetup.h"
#include "HostChannel.h"
#include "Request.h"
#include "RunnerError.h"
#include "Sandbox.h"
#include "Scripts.h"
#include "Utf.h"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <unistd.h>

namespace zov {
namespace {

// The plugin state: replaced at every script exception, sent with the error line.
StringMap errorState;

std::string toUtf8(const engine::String& text) {
    return utf16ToUtf8(text.view());
}

// The state a thrown value carries: its `state` member, when that converts to
// a map whose every value is a string.
StringMap stateOf(engine::Context& context, const engine::Value& thrown) {
    std::optional<engine::Value> state = context.property(thrown, "state");
    if (!state)
        return {};
    std::optional<engine::Dictionary> members = context.toDictionary(*state);
    if (!members)
        return {};
    StringMap result;
    for (const auto& [key, value] : *members) {
        if (!context.isString(value))
            return {};
        std::optional<engine::String> text = context.toString(value);
        if (!text)
            return {};
        result.insert_or_assign(toUtf8(key), toUtf8(*text));
    }
    return result;
}

engine::String composedScript(const engine::String& source) {
    std::u16string text = utf8ToUtf16(scripts::prelude);
    text += source.view();
    text += utf8ToUtf16(scripts::suffix);
    return engine::String::fromUtf16(text);
}

// The whole run up to the result line; every failure leaves as an exception.
void run(HostChannel& channel) {
    errorState.clear();

    checkAddressSpaceLimit();
    prepareEngine();
    std::unique_ptr<engine::Context> context = engine::Context::create();
    if (!context)
        throw RunnerError(invalidInvocation);

    enterSandbox(*context);

    std::optional<engine::String> line = channel.readLine();
    if (!line)
        throw RunnerError(invalidInvocation);
    Request request = parseRequest(*context, *line);
    line.reset();

    std::optional<std::string> capturedMessage;
    context->setExceptionHandler([&](engine::Context& engine, const engine::Value* exception) {
        std::optional<engine::String> text;
        if (exception)
            text = engine.toString(*exception);
        capturedMessage = text ? toUtf8(*text) : "JavaScript exception";
        errorState = exception ? stateOf(engine, *exception) : StringMap{};
    });
    context->setGlobal("__sessionFetch", [&](const engine::String& fetchRequest) {
        return channel.fetch(fetchRequest);
    });

    context->evaluate(composedScript(request.script));
    if (capturedMessage)
        throw RunnerError(*capturedMessage);

    context->setGlobal("__method", request.method);
    context->setGlobal("__input", request.input ? *request.input : context->emptyObject());
    std::optional<engine::Value> result =
        context->evaluate(engine::String::fromUtf8(scripts::invocation));
    if (capturedMessage)
        throw RunnerError(*capturedMessage);
    std::optional<engine::String> json;
    if (result)
        json = context->toString(*result);
    if (!json)
        throw RunnerError("Plugin returned no result");

    channel.sendResult(*json);
}

} // namespace
} // namespace zov

int main() {
    // A host that closes its end of a pipe must make the write fail, not
    // kill the runner.
    std::signal(SIGPIPE, SIG_IGN);

    zov::HostChannel channel(STDIN_FILENO, STDOUT_FILENO);
    std::string message;
    try {
        zov::run(channel);
        // The process ends here: the engine's teardown would only cost time.
        _exit(EXIT_SUCCESS);
    } catch (const std::bad_alloc&) {
        message = "Out of memory";
    } catch (const zov::Failure& failure) {
        message = failure.message();
    } catch (const std::exception& failure) {
        message = failure.what();
    }
    try {
        channel.send(zov::errorMessage(std::move(message), zov::errorState));
    } catch (const std::exception&) {
        // The error line could not be written either; the exit status still says it.
    }
    _exit(EXIT_FAILURE);
}
