// The host library's decoder of the runner's lines. On any bytes: it never
// fails other than by finding no message, and what it takes for a message is
// JSON text, with strings of well-formed UTF-8. On the lines the runner's
// writer makes: it gives back every string member and the state as written.
// The first byte of the input chooses which.

#include "FuzzCheck.h"
#include "JsonText.h"
#include "JsonWriter.h"
#include "LineDecoder.h"
#include "WellFormedText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

namespace {

using zov::fuzz::check;

// The decoder reads up to `padding` bytes past the line's end.
std::optional<zov::client::RunnerMessage> decode(zov::client::LineDecoder& decoder,
                                                 std::string_view line) {
    std::string padded(line);
    padded.resize(line.size() + zov::client::LineDecoder::padding, '\0');
    return decoder.decode(std::string_view(padded.data(), line.size()));
}

void decodeAnyBytes(zov::client::LineDecoder& decoder, std::string_view line) {
    const auto message = decode(decoder, line);
    if (!message)
        return;
    check(zov::isJsonText(line), "a message is JSON text");
    for (const auto& [key, value] : message->strings)
        check(zov::fuzz::isWellFormedUtf8(key) && zov::fuzz::isWellFormedUtf8(value),
              "member names and strings are well-formed UTF-8");
}

void decodeWrittenLine(zov::client::LineDecoder& decoder, FuzzedDataProvider& provider) {
    zov::Message message;
    std::map<std::string, std::string> strings;
    std::optional<zov::StringMap> state;
    while (provider.remaining_bytes() > 0 && message.size() < 8) {
        std::string key = zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(16));
        if (provider.ConsumeBool()) {
            std::string value = zov::fuzz::wellFormed(provider.ConsumeRandomLengthString());
            strings[key] = value;
            if (key == "state")
                state.reset();
            message[key] = std::move(value);
            continue;
        }
        zov::StringMap map;
        for (int i = provider.ConsumeIntegralInRange(0, 4); i > 0; --i)
            map[zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(16))] =
                zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(64));
        strings.erase(key);
        if (key == "state")
            state = map;
        message[std::move(key)] = std::move(map);
    }
    std::string line = zov::jsonLine(message);
    line.pop_back(); // the line feed
    const auto decoded = decode(decoder, line);
    check(decoded.has_value(), "a written line is a message");
    check(decoded->strings == strings, "every string member, as written");
    check(decoded->state == state, "the state, as written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reused, as the host library reuses it from line to line.
    static zov::client::LineDecoder decoder;
    if (size == 0)
        return 0;
    if (data[0] & 1) {
        FuzzedDataProvider provider(data + 1, size - 1);
        decodeWrittenLine(decoder, provider);
    } else {
        decodeAnyBytes(decoder,
                       std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    }
    return 0;
}
