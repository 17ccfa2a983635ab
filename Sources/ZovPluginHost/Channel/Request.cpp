#include "Request.h"

#include "ChannelProtocol.h"
#include "RunnerError.h"
#include "Utf.h"

#include <variant>

namespace zov {

Request parseRequest(engine::Context& context, const engine::String& line) {
    auto parsed = context.parseJson(line);
    if (const auto* description = std::get_if<engine::String>(&parsed))
        throw Failure(utf16ToUtf8(description->view()));
    const engine::Value& request = std::get<engine::Value>(parsed);
    // A request line holds an object or an array at its top level, like any
    // JSON document the platform reads; the engine's parser would take a bare
    // string, number or literal too.
    if (!context.isObject(request))
        throw Failure("JSON text did not start with an array or an object");
    if (context.isArray(request))
        throw RunnerError(invalidInvocation);

    auto stringMember = [&](const char* name) {
        std::optional<engine::Value> member = context.property(request, name);
        if (!member || !context.isString(*member))
            throw RunnerError(invalidInvocation);
        return *context.toString(*member);
    };
    engine::String script = stringMember(channel::member::script);
    engine::String method = stringMember(channel::member::method);
    std::optional<engine::Value> input;
    if (context.hasProperty(request, channel::member::input))
        input = context.property(request, channel::member::input);
    return {std::move(script), std::move(method), std::move(input)};
}

} // namespace zov
