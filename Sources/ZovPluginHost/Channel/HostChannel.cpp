#include "HostChannel.h"

#include "ByteBuffer.h"
#include "ChannelProtocol.h"
#include "JsonText.h"
#include "RunnerError.h"
#include "Utf.h"
#include "WriteAll.h"

#include <cstring>

namespace zov {

namespace {

Message fetchMessage(std::string request) {
    return {{channel::member::request, std::move(request)},
            {channel::member::type, channel::type::fetch}};
}

} // namespace

HostChannel::HostChannel(int input, int output) : reader_(input), output_(output) {}

void HostChannel::write(std::string_view bytes) {
    // A line that could not be written whole may have left part of itself
    // with the host, and any line after it would be glued onto that part: so
    // after one failed write, no other line is written.
    if (outputFailure_)
        throw Failure(*outputFailure_);
    // A host may hand over a non-blocking output: it is waited for, as a
    // blocking one would be.
    if (const int error = writeAll(output_, bytes, WhenFull::wait)) {
        outputFailure_ = std::string("Writing to standard output failed: ") + std::strerror(error);
        throw Failure(*outputFailure_);
    }
}

void HostChannel::send(const Message& message) {
    write(jsonLine(message));
}

void HostChannel::sendResult(const engine::String& json) {
    // Built in one buffer, the JSON text escaped where it stands: a result of
    // tens of megabytes is not copied on its way out.
    using namespace channel;
    ByteBuffer line;
    for (std::string_view piece : {"{\"", member::json, "\":"})
        line.append(piece);
    const size_t start = line.size();
    json.appendUtf8(line);
    // The host parses `json` as JSON text. The text comes from JSON.stringify,
    // but a plugin can replace that, or the global JSON, with a function that
    // returns any text at all.
    if (!isJsonText(std::string_view(line.data() + start, line.size() - start)))
        throw RunnerError(notJsonText);
    escapeJsonStringInPlace(line, start);
    for (std::string_view piece : {",\"", member::type, "\":\"", type::result, "\"}\n"})
        line.append(piece);
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
        return engine::String::fromUtf8(channel::transportFailedReply);
    }
    if (std::optional<engine::String> reply = readLine())
        return std::move(*reply);
    return engine::String::fromUtf8(channel::transportClosedReply);
}

Message errorMessage(std::string message, StringMap state) {
    return {{channel::member::message, std::move(message)},
            {channel::member::state, std::move(state)},
            {channel::member::type, channel::type::error}};
}

} // namespace zov
