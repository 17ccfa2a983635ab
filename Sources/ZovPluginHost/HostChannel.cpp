#include "HostChannel.h"

#include "RunnerError.h"
#include "Utf.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zov {

namespace {

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw Failure(std::string("Writing to standard output failed: ") +
                          std::strerror(errno));
        }
        bytes.remove_prefix(static_cast<size_t>(count));
    }
}

} // namespace

HostChannel::HostChannel(int input, int output) : reader_(input), output_(output) {}

void HostChannel::send(const Message& message) {
    writeAll(output_, jsonLine(message));
}

std::u16string HostChannel::fetch(std::u16string_view request) {
    try {
        send(fetchMessage(utf16ToUtf8(request)));
    } catch (const Failure&) {
        return std::u16string(transportFailedReply);
    }
    if (std::optional<std::u16string> reply = readLine())
        return std::move(*reply);
    return std::u16string(transportClosedReply);
}

Message fetchMessage(std::string request) {
    return {{"request", std::move(request)}, {"type", "fetch"}};
}

Message resultMessage(std::string json) {
    return {{"json", std::move(json)}, {"type", "result"}};
}

Message errorMessage(std::string message, StringMap state) {
    return {{"message", std::move(message)}, {"state", std::move(state)}, {"type", "error"}};
}

} // namespace zov
