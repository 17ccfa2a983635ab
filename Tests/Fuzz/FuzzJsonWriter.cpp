// The runner's JSON writer on any text: what goes in comes back out of a JSON
// parser unchanged. A string literal gives back its text; the escaping in
// place writes the same bytes as the writer; a whole line is one JSON object
// with its keys in ascending order, ended by its only line feed, and passes
// the runner's own check of JSON text.

#include "ByteBuffer.h"
#include "FuzzCheck.h"
#include "JsonText.h"
#include "JsonWriter.h"
#include "WellFormedText.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>

namespace {

using zov::fuzz::check;
using Json = nlohmann::ordered_json;

// Keys in ascending byte order, as the host reads them.
bool keysAscend(const Json& object) {
    std::string previous;
    bool first = true;
    for (const auto& [key, value] : object.items()) {
        if (!first && !(previous < key))
            return false;
        previous = key;
        first = false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);

    // Escaping in place gives what the writer gives, for any bytes at all.
    const std::string prefix = provider.ConsumeRandomLengthString(16);
    const std::string bytes = provider.ConsumeRandomLengthString();
    std::string literal;
    zov::appendJsonString(literal, bytes);
    zov::ByteBuffer inPlace;
    inPlace.append(prefix);
    inPlace.append(bytes);
    zov::escapeJsonStringInPlace(inPlace, prefix.size());
    check(inPlace.view() == prefix + literal, "escaping in place writes what the writer writes");

    // The writer takes UTF-8: its literal reads back as the same text.
    const std::string text = zov::fuzz::wellFormed(bytes);
    literal.clear();
    zov::appendJsonString(literal, text);
    check(Json::parse(literal).get<std::string>() == text, "a string literal gives its text back");
    check(literal.find('\n') == std::string::npos && literal.find('\r') == std::string::npos,
          "no line break inside a literal");

    // A whole message, its state included.
    zov::Message message;
    while (provider.remaining_bytes() > 0 && message.size() < 8) {
        std::string key = zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(16));
        if (provider.ConsumeBool()) {
            message[std::move(key)] = zov::fuzz::wellFormed(provider.ConsumeRandomLengthString());
            continue;
        }
        zov::StringMap state;
        for (int i = provider.ConsumeIntegralInRange(0, 4); i > 0; --i)
            state[zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(16))] =
                zov::fuzz::wellFormed(provider.ConsumeRandomLengthString(64));
        message[std::move(key)] = std::move(state);
    }
    const std::string line = zov::jsonLine(message);
    check(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1,
          "one line feed, at the end");
    const std::string_view json(line.data(), line.size() - 1);
    check(zov::isJsonText(json), "the line is JSON text to the runner's own check");
    const Json parsed = Json::parse(json);
    check(parsed.is_object() && parsed.size() == message.size() && keysAscend(parsed),
          "an object with every key, in ascending order");
    for (const auto& [key, value] : message) {
        const Json& member = parsed.at(key);
        if (const auto* string = std::get_if<std::string>(&value)) {
            check(member.is_string() && member.get<std::string>() == *string, "string members");
            continue;
        }
        const auto& state = std::get<zov::StringMap>(value);
        check(member.is_object() && member.size() == state.size() && keysAscend(member),
              "the state, its keys in ascending order");
        for (const auto& [name, entry] : state)
            check(member.at(name).get<std::string>() == entry, "the state's strings");
    }
    return 0;
}
