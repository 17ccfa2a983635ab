#include "LineDecoder.h"

#include "ByteBuffer.h"
#include "ChannelProtocol.h"
#include "JsonString.h"
#include "JsonText.h"

#include <cstring>

namespace zov::client {

namespace {

namespace ondemand = simdjson::ondemand;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The code unit of the four hexadecimal digits at `p`, or -1.
long codeUnit(const char* p, const char* end) {
    if (end - p < 4)
        return -1;
    long unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(p[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

void appendCodePoint(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// From this length on, a run of plain characters gets memory on huge pages.
constexpr size_t hugeRun = size_t{2} << 20;

// The text of the string literal whose first character is at `p` (just after its opening
// quotation mark), decoded straight from the line: the parser's own decoding would write every
// string out once more, a second copy of a result of tens of megabytes. None when the literal
// is malformed (the parser has checked the line's UTF-8 and structure, not the escapes).
std::optional<std::string> decodeString(const char* p, const char* end) {
    std::string text;
    for (;;) {
        const char* run = p;
        p = findUnescapedEnd(p, end);
        const auto length = static_cast<size_t>(p - run);
        if (length > text.capacity() - text.size() && length > hugeRun) {
            // A long text: its memory on huge pages before it is written.
            text.reserve(text.size() + length + 16);
            adviseHugePages(text.data(), text.capacity());
        }
        text.append(run, length);
        if (p == end || static_cast<unsigned char>(*p) < 0x20)
            return std::nullopt;
        if (*p++ == '"')
            return text;
        if (p == end)
            return std::nullopt;
        switch (const char escape = *p++) {
        case '"':
        case '\\':
        case '/':
            text += escape;
            break;
        case 'b':
            text += '\b';
            break;
        case 'f':
            text += '\f';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case 't':
            text += '\t';
            break;
        case 'u': {
            long unit = codeUnit(p, end);
            p += 4;
            if (unit >= 0xDC00 && unit <= 0xDFFF)
                return std::nullopt;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                // A high surrogate must be followed by an escaped low one.
                const long low =
                    end - p >= 2 && p[0] == '\\' && p[1] == 'u' ? codeUnit(p + 2, end) : -1;
                if (low < 0xDC00 || low > 0xDFFF)
                    return std::nullopt;
                p += 6;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            if (unit < 0)
                return std::nullopt;
            appendCodePoint(text, static_cast<unsigned long>(unit));
            break;
        }
        default:
            return std::nullopt;
        }
    }
}

// Whether a value that the host does not read is JSON all the same. The on-demand parser skips
// such a value by its brackets alone, so a line such as {"n":1*2,"type":"result",...} would pass.
bool isSkippedValueJson(ondemand::value value, const char* end) {
    const char* after = jsonValueEnd(value.raw_json_token().data(), end);
    // What follows the value is what the parser goes on with.
    return after && after != end && (*after == ',' || *after == '}');
}

// The string value's text, decoded from the line that ends at `end`.
std::optional<std::string> stringOf(ondemand::value value, const char* end) {
    ondemand::raw_json_string raw;
    if (value.get_raw_json_string().get(raw))
        return std::nullopt;
    return decodeString(raw.raw(), end);
}

// Reads an object: `strings` gets its members when their values are all strings, and stays
// empty otherwise. False when the object is not JSON text.
bool readStrings(ondemand::object members, const char* end,
                 std::optional<std::map<std::string, std::string>>& strings) {
    std::map<std::string, std::string> read;
    bool allStrings = true;
    for (auto member : members) {
        std::string_view key;
        ondemand::value value;
        ondemand::json_type type;
        if (member.unescaped_key().get(key) || member.value().get(value) || value.type().get(type))
            return false;
        if (type != ondemand::json_type::string) {
            if (!isSkippedValueJson(value, end))
                return false;
            allStrings = false;
            continue;
        }
        std::optional<std::string> text = stringOf(value, end);
        if (!text)
            return false;
        read.insert_or_assign(std::string(key), std::move(*text));
    }
    if (allStrings)
        strings = std::move(read);
    return true;
}

} // namespace

std::optional<RunnerMessage> LineDecoder::decode(std::string_view line) {
    // simdjson checks the line's UTF-8 and structure at memory speed, and finds its members
    // without copying them; the strings are decoded once, straight into the message. (Its DOM
    // parser copies every string into a buffer of its own, which took most of a second for a
    // result of 64 MB.) Members that the host does not read are checked, not decoded.
    const char* const end = line.data() + line.size();
    ondemand::document document;
    ondemand::object members;
    if (parser_.iterate(line.data(), line.size(), line.size() + padding).get(document) ||
        document.get_object().get(members))
        return std::nullopt;
    RunnerMessage message;
    for (auto member : members) {
        std::string_view key;
        ondemand::value value;
        ondemand::json_type type;
        if (member.unescaped_key().get(key) || member.value().get(value) || value.type().get(type))
            return std::nullopt;
        if (type == ondemand::json_type::string) {
            std::optional<std::string> text = stringOf(value, end);
            if (!text)
                return std::nullopt;
            message.strings.insert_or_assign(std::string(key), std::move(*text));
        } else if (type == ondemand::json_type::object && key == channel::member::state) {
            ondemand::object state;
            if (value.get_object().get(state))
                return std::nullopt;
            if (!readStrings(state, end, message.state))
                return std::nullopt;
        } else if (!isSkippedValueJson(value, end)) {
            return std::nullopt;
        }
    }
    // Nothing may follow the object.
    if (document.current_location().error() != simdjson::OUT_OF_BOUNDS)
        return std::nullopt;
    return message;
}

} // namespace zov::client
