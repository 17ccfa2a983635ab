#pragma once

// Decodes the lines that the runner writes: one JSON object per line.

#include <simdjson.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zov::client {

// The members of one line that the host reads.
struct RunnerMessage {
    // Every member whose value is a string: the type and the line's text.
    std::map<std::string, std::string> strings;
    // The state, when it is an object whose values are all strings.
    std::optional<std::map<std::string, std::string>> state;
};

class LineDecoder {
public:
    // Extra bytes that must be readable after a line's last byte.
    static constexpr size_t padding = simdjson::SIMDJSON_PADDING;

    // The line's message, or none when it is not a JSON object. `padding` bytes after the line's
    // last byte must be readable.
    std::optional<RunnerMessage> decode(std::string_view line);

private:
    // Reused from line to line: its indexes grow to the longest line once.
    simdjson::ondemand::parser parser_;
};

} // namespace zov::client
