#include "JsonWriter.h"

namespace zov {

namespace {

// Appends a JSON object of the map's entries, in the map's (ascending) order.
template <typename Map, typename AppendValue>
void appendObject(std::string& out, const Map& map, AppendValue appendValue) {
    out += '{';
    bool first = true;
    for (const auto& [key, value] : map) {
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, key);
        out += ':';
        appendValue(out, value);
    }
    out += '}';
}

} // namespace

std::string jsonLine(const Message& message) {
    std::string line;
    appendObject(line, message, [](std::string& out, const auto& value) {
        if (const auto* text = std::get_if<std::string>(&value))
            appendJsonString(out, *text);
        else
            appendObject(out, std::get<StringMap>(value), appendJsonString);
    });
    line += '\n';
    return line;
}

} // namespace zov
