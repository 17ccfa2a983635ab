#include "LineDecoder.h"

#include "ChannelProtocol.h"

namespace zov::client {

namespace {

std::optional<std::map<std::string, std::string>> stringsOf(simdjson::dom::object members) {
    std::map<std::string, std::string> strings;
    for (const auto [key, value] : members) {
        std::string_view text;
        if (value.get_string().get(text))
            return std::nullopt;
        strings.insert_or_assign(std::string(key), std::string(text));
    }
    return strings;
}

} // namespace

std::optional<RunnerMessage> LineDecoder::decode(std::string_view line) {
    // nlohmann::json decodes a long string at some 30 MB/s; this parser
    // validates and decodes at memory speed, which a 64 MB result needs.
    simdjson::dom::object members;
    if (parser_.parse(line.data(), line.size(), /*realloc_if_needed=*/false)
            .get_object()
            .get(members))
        return std::nullopt;
    RunnerMessage message;
    for (const auto [key, value] : members) {
        std::string_view text;
        simdjson::dom::object object;
        if (!value.get_string().get(text))
            message.strings.insert_or_assign(std::string(key), std::string(text));
        else if (key == channel::member::state && !value.get_object().get(object))
            message.state = stringsOf(object);
    }
    return message;
}

} // namespace zov::client
