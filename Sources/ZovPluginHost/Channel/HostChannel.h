#pragma once

// The runner's link to the host: JSON lines on standard input and output.

#include "Engine.h"
#include "JsonWriter.h"
#include "LineReader.h"

#include <optional>
#include <string>
#include <string_view>

namespace zov {

class HostChannel {
public:
    // The runner answers a fetch itself with these replies when the host
    // cannot be reached.
    static constexpr std::string_view transportFailedReply =
        "{\"error\":\"Session transport failed\"}";
    static constexpr std::string_view transportClosedReply =
        "{\"error\":\"Session transport closed\"}";

    HostChannel(int input, int output);

    // Writes the message as one line; the whole line has been written when
    // this returns. Throws Failure when the output fails, and from then on
    // without writing anything.
    void send(const Message& message);
    // Sends the result line that carries the method's JSON text. Throws
    // RunnerError, and writes nothing, when the text is not JSON text.
    void sendResult(const engine::String& json);

    static constexpr const char* notJsonText = "Plugin result is not JSON text";

    // One line from the host as text, or none at the end of the input.
    std::optional<engine::String> readLine();

    // The fetch bridge: hands the request to the host and returns its reply
    // line. Never fails: when the host cannot be reached, the reply is the
    // channel's transport-failed or transport-closed reply.
    engine::String fetch(const engine::String& request);

private:
    void write(std::string_view bytes);

    LineReader reader_;
    int output_;
    // Why the output failed, once it has.
    std::optional<std::string> outputFailure_;
};

// The error line's message: the description and the plugin state.
Message errorMessage(std::string message, StringMap state);

} // namespace zov
