#pragma once

// The request line: the plugin's source, the method to call and its input.

#include "Engine.h"

#include <optional>

namespace zov {

struct Request {
    engine::String script;
    engine::String method;
    std::optional<engine::Value> input; // none when the request has no `input`
};

// Parses the request line with the engine's JSON parser and checks it. Throws
// Failure with the parser's description of a text that is not JSON, or not an
// object or an array at its top level; throws RunnerError (Invalid plugin
// invocation) for one that is not an object whose `script` and `method` are
// strings.
Request parseRequest(engine::Context& context, const engine::String& line);

} // namespace zov
