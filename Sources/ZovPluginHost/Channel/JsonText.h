#pragma once

// Whether a text is JSON text: the check that the result line's `json` member
// holds what its name says, whatever the plugin did to JSON.stringify.

#include <string_view>

namespace zov {

// Whether `text` is exactly one JSON value, with nothing but JSON white space
// around it. Inside strings, bytes from 0x80 up stand for themselves: the
// caller hands over well-formed UTF-8.
bool isJsonText(std::string_view text);

} // namespace zov
