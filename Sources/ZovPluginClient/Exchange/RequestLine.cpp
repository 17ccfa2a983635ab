#include <zov/PluginCall.h>

#include "ByteBuffer.h"
#include "ChannelProtocol.h"
#include "JsonString.h"
#include "JsonText.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zov::client {

namespace {

void appendKey(std::string& line, std::string_view name) {
    line += '"';
    line += name;
    line += "\":";
}

// Appends the text as a JSON string literal; ill-formed UTF-8 becomes U+FFFD, so that the line is
// well-formed UTF-8 whatever the caller hands over.
void appendText(std::string& line, std::string_view text) {
    if (simdjson::validate_utf8(text.data(), text.size())) {
        appendJsonString(line, text);
        return;
    }
    using nlohmann::json;
    line += json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string requestLine(std::string_view script, std::string_view method,
                        std::optional<std::string_view> inputJson) {
    using namespace channel;
    const size_t inputSize = inputJson ? inputJson->size() : 0;
    std::string line;
    // Room for the texts unescaped, which most are; a large request is written on huge pages.
    line.reserve(inputSize + script.size() + method.size() + 64);
    adviseHugePages(line.data(), line.capacity());
    line += '{';
    if (inputJson) {
        appendKey(line, member::input);
        const size_t start = line.size();
        line += *inputJson;
        // Checked before its line breaks become spaces: outside strings they are white space,
        // inside them they are not JSON, and must not turn into spaces that are.
        const std::string_view input = std::string_view(line).substr(start);
        if (!simdjson::validate_utf8(input.data(), input.size()) || !isJsonText(input))
            throw std::invalid_argument("The input is not JSON text");
        replaceLineBreaks(line.data() + start, line.data() + line.size());
        line += ',';
    }
    appendKey(line, member::method);
    appendText(line, method);
    line += ',';
    appendKey(line, member::script);
    appendText(line, script);
    line += '}';
    return line;
}

} // namespace zov::client
