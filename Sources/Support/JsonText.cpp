#include "JsonText.h"

#include "JsonString.h"

#include <cstring>

#include <vector>

namespace zov {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// JSON's grammar, recognised without building any value: no memory beyond a stack of the open
// containers, nothing converted, and the characters of strings, which make up most of a large
// text, skipped sixteen at a time. The parsers at hand refuse texts that the grammar allows
// (numbers beyond a double's range, escaped unpaired surrogates, deep nesting), or build the whole
// value once more: the engine's own took 1.5 to 2 s and 170 MB on a 64 MB array of small objects.
class Grammar {
public:
    explicit Grammar(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    // Whether the text is one value with white space around it.
    bool accepts() {
        skipWhiteSpace();
        const char* after = valueEnd();
        return after && after == end_;
    }

    // Where the value that starts the text and the white space after it end, or null when no
    // value starts it.
    const char* valueEnd() {
        if (!value())
            return nullptr;
        skipWhiteSpace();
        return p_;
    }

private:
    // One value, containers and all.
    bool value() {
        // Each open container waits for a member or an element; `]` and `}` close it.
        std::vector<char> open;
        for (;;) {
            if (!element(open))
                return false;
            // After a value: the end of the containers it closes, then a separator.
            for (;;) {
                if (open.empty())
                    return true;
                skipWhiteSpace();
                const char closer = open.back() == '[' ? ']' : '}';
                if (p_ == end_)
                    return false;
                if (*p_ == closer) {
                    ++p_;
                    open.pop_back();
                    continue;
                }
                if (*p_ != ',')
                    return false;
                ++p_;
                skipWhiteSpace();
                if (open.back() == '{' && !member())
                    return false;
                break;
            }
        }
    }

    // A value, or the opening of a container together with its first member or element (or its
    // immediate close).
    bool element(std::vector<char>& open) {
        for (;;) {
            if (p_ == end_)
                return false;
            switch (*p_) {
            case '"':
                return string();
            case '[':
            case '{': {
                const char opener = *p_++;
                skipWhiteSpace();
                const char closer = opener == '[' ? ']' : '}';
                if (p_ != end_ && *p_ == closer) {
                    ++p_;
                    return true;
                }
                open.push_back(opener);
                if (opener == '{' && !member())
                    return false;
                continue;
            }
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
            }
        }
    }

    // An object member's name and colon, before its value.
    bool member() {
        if (p_ == end_ || *p_ != '"' || !string())
            return false;
        skipWhiteSpace();
        if (p_ == end_ || *p_ != ':')
            return false;
        ++p_;
        skipWhiteSpace();
        return true;
    }

    bool string() {
        ++p_; // the opening quotation mark
        while (p_ != end_) {
            p_ = findUnescapedEnd(p_, end_);
            if (p_ == end_)
                break;
            const auto c = static_cast<unsigned char>(*p_++);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\')
                continue;
            if (p_ == end_)
                return false;
            switch (*p_++) {
            case '"':
            case '\\':
            case '/':
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't':
                break;
            case 'u':
                for (int i = 0; i < 4; ++i) {
                    if (p_ == end_ || !isHexDigit(*p_++))
                        return false;
                }
                break;
            default:
                return false;
            }
        }
        return false;
    }

    bool digits() {
        const char* start = p_;
        while (p_ != end_ && isDigit(*p_))
            ++p_;
        return p_ != start;
    }

    bool number() {
        if (*p_ == '-')
            ++p_;
        if (p_ != end_ && *p_ == '0')
            ++p_;
        else if (!digits())
            return false;
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            if (!digits())
                return false;
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-'))
                ++p_;
            if (!digits())
                return false;
        }
        return true;
    }

    bool literal(std::string_view word) {
        if (static_cast<size_t>(end_ - p_) < word.size() ||
            std::string_view(p_, word.size()) != word)
            return false;
        p_ += word.size();
        return true;
    }

    void skipWhiteSpace() {
        while (p_ != end_ && isWhiteSpace(*p_))
            ++p_;
    }

    const char* p_;
    const char* const end_;
};

} // namespace

bool isJsonText(std::string_view text) {
    return Grammar(text).accepts();
}

void replaceLineBreaks(char* begin, char* end) {
    for (const char lineBreak : {'\n', '\r'}) {
        for (char* p = begin; (p = static_cast<char*>(std::memchr(p, lineBreak, end - p)));)
            *p++ = ' ';
    }
}

const char* jsonValueEnd(const char* begin, const char* end) {
    return Grammar(std::string_view(begin, static_cast<size_t>(end - begin))).valueEnd();
}

} // namespace zov
