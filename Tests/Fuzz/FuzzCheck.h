#pragma once

// How a fuzz target reports a property that does not hold: as a crash, which libFuzzer records
// with the input that caused it.

#include <cstdio>
#include <cstdlib>

namespace zov::fuzz {

inline void check(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "A checked property does not hold: %s\n", property);
    std::abort();
}

} // namespace zov::fuzz
