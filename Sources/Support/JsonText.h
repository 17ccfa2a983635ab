#pragma once

// Whether a text is JSON text: the runner's check of a result's `json` member, whatever the plugin
// did to JSON.stringify, and the host library's check of a caller's input.

#include <string_view>

namespace zov {

// Whether `text` is exactly one JSON value, with nothing but JSON white space around it. Every
// text that JSON's grammar allows is taken: numbers of any size or precision, escapes of unpaired
// surrogates (which the engine's parser takes too), nesting of any depth. Inside strings, bytes
// from 0x80 up stand for themselves: UTF-8 is the caller's to check.
bool isJsonText(std::string_view text);

// Makes every line feed and carriage return between `begin` and `end` a space: in JSON text
// they are white space, and a text so changed means the same on one line.
void replaceLineBreaks(char* begin, char* end);

// The end of the one JSON value that starts at `begin`, before `end`, and of the white space
// after it; null when no value starts there. What follows is not looked at.
const char* jsonValueEnd(const char* begin, const char* end);

} // namespace zov
