#include "PluginCall.h"

#include "ChannelProtocol.h"
#include "JsonText.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace zov::client {

namespace {

// A JSON string literal of `text`, with ill-formed UTF-8 replaced.
std::string jsonString(std::string_view text) {
    using nlohmann::json;
    return json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string requestLine(std::string_view script, std::string_view method,
                        std::optional<std::string_view> inputJson) {
    using namespace channel;
    const auto key = [](std::string_view name) { return "\"" + std::string(name) + "\":"; };
    std::string line = "{";
    if (inputJson) {
        line += key(member::input);
        const size_t start = line.size();
        // A line break in JSON text is white space; it must not end the line.
        for (const char byte : *inputJson)
            line += byte == '\n' || byte == '\r' ? ' ' : byte;
        // Checked where it now stands, with the rest of the line and the reserve as padding.
        line.reserve(line.size() + jsonTextPadding);
        if (!isJsonText(std::string_view(line).substr(start)))
            throw std::invalid_argument("The input is not JSON text");
        line += ',';
    }
    line += key(member::method) + jsonString(method) + "," + key(member::script) +
            jsonString(script) + "}";
    return line;
}

} // namespace zov::client
