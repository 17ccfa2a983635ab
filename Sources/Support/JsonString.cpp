#include "JsonString.h"

#include "ByteBuffer.h"
#include "Words.h"

#include <array>
#include <cstdint>
#include <cstring>

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

char escapeOf(char byte) {
    return escapes[static_cast<uint8_t>(byte)];
}

// How many bytes the escaped form of `byte` takes.
size_t escapedLength(char byte) {
    const char escape = escapeOf(byte);
    return escape == 0 ? 1 : escape == 'u' ? 6 : 2;
}

// Whether some byte of the word needs an escape.
bool mayNeedEscape(uint64_t word) {
    return words::hasByteBelow(word, 0x20) | words::hasByte(word, '"') |
           words::hasByte(word, '\\') | words::hasByte(word, '/');
}

// Sixteen bytes at once, in the processor's vector registers (SSE2 on every x86-64), through the
// compiler's vector types.
using Block = uint8_t __attribute__((vector_size(16)));

template <bool solidus> bool hasSpecialByte(const char* p) {
    Block bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    auto found = (bytes < 0x20) | (bytes == '"') | (bytes == '\\');
    if constexpr (solidus)
        found |= bytes == '/';
    uint64_t lanes[2];
    std::memcpy(lanes, &found, sizeof lanes);
    return (lanes[0] | lanes[1]) != 0;
}

template <bool solidus> const char* findSpecialByte(const char* p, const char* end) {
    for (; end - p >= 16 && !hasSpecialByte<solidus>(p); p += 16) {
    }
    for (; p < end; ++p) {
        const auto byte = static_cast<uint8_t>(*p);
        if (byte < 0x20 || byte == '"' || byte == '\\' || (solidus && byte == '/'))
            break;
    }
    return p;
}

// The first byte in [p, end) that needs an escape, or `end`.
const char* nextEscape(const char* p, const char* end) {
    return findSpecialByte<true>(p, end);
}

// One past the last byte in [begin, p) that needs an escape, or `begin`.
const char* previousEscape(const char* begin, const char* p) {
    for (; p - begin >= 8 && !mayNeedEscape(words::load(p - 8)); p -= 8) {
    }
    for (; p > begin && escapeOf(p[-1]) == 0; --p) {
    }
    return p;
}

// Writes the escaped form of `byte` at `out`; returns one past it.
char* writeEscape(char* out, char byte) {
    const char escape = escapeOf(byte);
    *out++ = '\\';
    if (escape != 'u') {
        *out++ = escape;
        return out;
    }
    static constexpr char hex[] = "0123456789abcdef";
    const auto value = static_cast<uint8_t>(byte);
    *out++ = 'u';
    *out++ = '0';
    *out++ = '0';
    *out++ = hex[value >> 4];
    *out++ = hex[value & 0xF];
    return out;
}

} // namespace

const char* findUnescapedEnd(const char* p, const char* end) {
    return findSpecialByte<false>(p, end);
}

void appendJsonString(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    const char* const end = text.data() + text.size();
    for (const char* p = text.data();;) {
        const char* escape = nextEscape(p, end);
        out.append(p, escape);
        if (escape == end)
            break;
        char written[6];
        out.append(written, writeEscape(written, *escape));
        p = escape + 1;
    }
    out += '"';
}

void escapeJsonStringInPlace(ByteBuffer& buffer, size_t start) {
    const char* const textBegin = buffer.data() + start;
    const char* const textEnd = buffer.data() + buffer.size();
    size_t escapedSize = 2; // the quotation marks
    for (const char* p = textBegin;;) {
        const char* escape = nextEscape(p, textEnd);
        escapedSize += static_cast<size_t>(escape - p);
        if (escape == textEnd)
            break;
        escapedSize += escapedLength(*escape);
        p = escape + 1;
    }
    const size_t textSize = buffer.size() - start;
    buffer.resize(start + escapedSize);
    // From the end backwards, each byte moves to its place in the longer text
    // before anything overwrites it.
    char* const begin = buffer.data() + start;
    char* p = begin + textSize;
    char* out = begin + escapedSize;
    *--out = '"';
    while (p > begin) {
        char* escape = begin + (previousEscape(begin, p) - begin);
        const size_t run = static_cast<size_t>(p - escape);
        out -= run;
        std::memmove(out, escape, run);
        if (escape == begin)
            break;
        p = escape - 1;
        char written[6];
        const size_t length = static_cast<size_t>(writeEscape(written, *p) - written);
        out -= length;
        std::memcpy(out, written, length);
    }
    *begin = '"';
}

} // namespace zov
