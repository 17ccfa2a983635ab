#pragma once

#include <string>

namespace zov {

// The file that the shared library holding this code was loaded from (the program's file when the
// code is linked into a program), made absolute but with symbolic links kept; empty when it can't
// be told.
//
// ZovSupport is a static library built with hidden symbols, so every shared library that links it
// holds a copy of this function of its own, which names that shared library.
std::string thisLibraryFile();

} // namespace zov
