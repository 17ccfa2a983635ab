#include "JsonWriter.h"

#include <array>
#include <cstdint>

namespace zov {

namespace {

// For each byte: 0 when it stands for itself, else the letter of its short
// escape, or 'u' for the \u00XX form.
constexpr std::array<char, 256> escapes = [] {
    std::array<char, 256> table{};
    for (int byte = 0; byte < 0x20; ++byte)
        table[byte] = 'u';
    table['\b'] = 'b';
    table['\f'] = 'f';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['\t'] = 't';
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    return table;
}();

void appendMap(std::string& out, const StringMap& map) {
    out += '{';
    bool first = true;
    for (const auto& [key, value] : map) {
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, key);
        out += ':';
        appendJsonString(out, value);
    }
    out += '}';
}

} // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    size_t run = 0; // start of the bytes not yet copied
    for (size_t i = 0; i < text.size(); ++i) {
        const char escape = escapes[static_cast<uint8_t>(text[i])];
        if (escape == 0)
            continue;
        out.append(text, run, i - run);
        run = i + 1;
        out += '\\';
        if (escape != 'u') {
            out += escape;
            continue;
        }
        static constexpr char hex[] = "0123456789abcdef";
        const auto byte = static_cast<uint8_t>(text[i]);
        out += "u00";
        out += hex[byte >> 4];
        out += hex[byte & 0xF];
    }
    out.append(text, run);
    out += '"';
}

std::string jsonLine(const Message& message) {
    std::string line;
    line += '{';
    bool first = true;
    for (const auto& [key, value] : message) {
        if (!first)
            line += ',';
        first = false;
        appendJsonString(line, key);
        line += ':';
        if (const auto* text = std::get_if<std::string>(&value))
            appendJsonString(line, *text);
        else
            appendMap(line, std::get<StringMap>(value));
    }
    line += "}\n";
    return line;
}

} // namespace zov
