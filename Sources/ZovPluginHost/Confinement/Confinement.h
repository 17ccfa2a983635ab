#pragma once

// The one operation that confines the whole process. The runner links the
// platform's implementation; a test build can link a stand-in instead.

#include <optional>
#include <string>

namespace zov {

// Confines the whole process for the rest of its life: afterwards it can
// compute, allocate memory, read its standard input, write its standard
// output and exit, and nothing else. Returns 0 when the confinement is in
// force; any other value when it is not, with `errorText` set to the reason
// or left absent.
int confineProcess(std::optional<std::string>& errorText);

} // namespace zov
