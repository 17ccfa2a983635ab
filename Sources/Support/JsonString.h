#pragma once

// JSON string literals as the runner writes them and the host library writes its requests: the
// quotation mark, the backslash and the solidus escaped with a backslash, control characters
// escaped, every other byte as it stands. Scans eight bytes at a time, for texts of tens of
// megabytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace zov {

class ByteBuffer;

// Appends `text` as a JSON string literal.
void appendJsonString(std::string& out, std::string_view text);

// The first byte in [p, end) that ends a run of characters a JSON string holds as they stand: a
// quotation mark, a backslash or a control character; or `end`.
const char* findUnescapedEnd(const char* p, const char* end);

// Turns the bytes from `start` to the end of `buffer` into their JSON string literal, in place,
// as appendJsonString writes it.
void escapeJsonStringInPlace(ByteBuffer& buffer, size_t start);

} // namespace zov
