#include "HostChannel.h"

#include "ByteBuffer.h"
#include "RunnerError.h"
#include "Utf.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zov {

HostChannel::HostChannel(int input, int output) : reader_(input), output_(output) {}

void HostChannel::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(output_, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw Failure(std::string("Writing to standard output failed: ") +
                          std::strerror(errno));
        }
        bytes.remove_prefix(static_cast<size_t>(count));
    }
}

void HostChannel::send(const Message& message) {
    write(jsonLine(message));
}

void HostChannel::sendResult(const engine::String& json) {
    // Built in one buffer, the JSON text escaped where it stands: a result of
    // tens of megabytes is not copied on its way out.
    static constexpr std::string_view prefix = "{\"json\":";
    ByteBuffer line;
    line.append(prefix);
    json.appendUtf8(line);
    escapeJsonStringInPlace(line, prefix.size());
    line.append(",\"type\":\"result\"}\n");
    write(line.view());
}

std::optional<engine::String> HostChannel::readLine() {
    const std::optional<std::string_view> bytes = reader_.readLine();
    if (!bytes)
        return std::nullopt;
    engine::String text = engine::String::fromUtf8(*bytes);
    reader_.shrink();
    return text;
}

engine::String HostChannel::fetch(const engine::String& request) {
    try {
        send(fetchMessage(utf16ToUtf8(request.view())));
    } catch (const Failure&) {
        return engine::String::fromUtf8(transportFailedReply);
    }
    if (std::optional<engine::String> reply = readLine())
        return std::move(*reply);
    return engine::String::fromUtf8(transportClosedReply);
}

Message fetchMessage(std::string request) {
    return {{"request", std::move(request)}, {"type", "fetch"}};
}

Message errorMessage(std::string message, StringMap state) {
    return {{"message", std::move(message)}, {"state", std::move(state)}, {"type", "error"}};
}

} // namespace zov
