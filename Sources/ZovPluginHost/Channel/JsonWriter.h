#pragma once

// Writes the runner's messages as compact JSON with sorted keys, the form the
// host reads byte for byte: the solidus escaped, every other character as its
// raw UTF-8. The runner parses JSON with the engine's own parser, since what it
// reads goes straight into the engine; no library writes this exact form.

#include "JsonString.h"

#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace zov {

using StringMap = std::map<std::string, std::string>;
// A message to the host: string keys, each with a string or a map of strings.
// All text is UTF-8. std::map keeps keys in ascending byte order.
using Message = std::map<std::string, std::variant<std::string, StringMap>>;

// The message as one line: compact JSON ended by a single line feed.
std::string jsonLine(const Message& message);

} // namespace zov
