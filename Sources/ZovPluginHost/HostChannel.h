#pragma once

// The runner's link to the host: JSON lines on standard input and output.

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
    static constexpr std::u16string_view transportFailedReply =
        u"{\"error\":\"Session transport failed\"}";
    static constexpr std::u16string_view transportClosedReply =
        u"{\"error\":\"Session transport closed\"}";

    HostChannel(int input, int output);

    // Writes the message as one line; the whole line has been written when
    // this returns. Throws Failure when the output fails.
    void send(const Message& message);

    // One line from the host, or none at the end of the input.
    std::optional<std::u16string> readLine() { return reader_.readLine(); }

    // The fetch bridge: hands the request to the host and returns its reply
    // line. Never fails: a host that cannot be reached gets the transport
    // replies above.
    std::u16string fetch(std::u16string_view request);

private:
    LineReader reader_;
    int output_;
};

Message fetchMessage(std::string request);
Message resultMessage(std::string json);
Message errorMessage(std::string message, StringMap state);

} // namespace zov
