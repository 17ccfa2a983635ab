#pragma once

// The names on the wire between a host and the plugin runner: one JSON object per line, UTF-8,
// each ended by one line feed. The runner writes them and the host library reads them from here.
//
//   host → runner   request  {"input": ANY, "method": TEXT, "script": TEXT}  (input optional)
//   runner → host   fetch    {"request": TEXT, "type": "fetch"}
//   host → runner   reply    one JSON object; a truthy "error" makes the plugin's fetch throw
//   runner → host   result   {"json": JSON_TEXT, "type": "result"}            (last; status 0)
//   runner → host   error    {"message": TEXT, "state": {TEXT: TEXT}, "type": "error"}  (last; 1)

#include <string_view>

namespace zov::channel {

// Members of the lines, each line's in ascending order as the runner writes them.
namespace member {
inline constexpr char input[] = "input";
inline constexpr char method[] = "method";
inline constexpr char script[] = "script";
inline constexpr char request[] = "request";
inline constexpr char json[] = "json";
inline constexpr char message[] = "message";
inline constexpr char state[] = "state";
inline constexpr char type[] = "type";
} // namespace member

// The values of `type`.
namespace type {
inline constexpr char fetch[] = "fetch";
inline constexpr char result[] = "result";
inline constexpr char error[] = "error";
} // namespace type

// The replies the runner gives a fetch itself when the host cannot be reached: the fetch line
// could not be written, or the host's end of the input closed before the reply.
inline constexpr std::string_view transportFailedReply = "{\"error\":\"Session transport failed\"}";
inline constexpr std::string_view transportClosedReply = "{\"error\":\"Session transport closed\"}";

} // namespace zov::channel
