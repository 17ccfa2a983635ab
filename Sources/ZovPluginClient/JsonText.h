#pragma once

#include <string_view>

namespace zov::client {

// Whether `text` is exactly one JSON text, white space around it allowed, in well-formed UTF-8.
// Every text that JSON's grammar allows is taken: numbers of any size or precision, and escapes
// of unpaired surrogates, which the engine's parser takes too. Nesting has no depth limit.
bool isJsonText(std::string_view text);

} // namespace zov::client
