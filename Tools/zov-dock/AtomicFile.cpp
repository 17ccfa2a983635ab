#include "AtomicFile.h"

#include "UniqueFd.h"
#include "WriteAll.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zov::dock {

bool writeFileAtomically(const std::string& path, std::string_view contents) {
    // Beside the file, so that the rename stays within one file system.
    const std::string pattern = path + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    UniqueFd file(mkstemp(temporary.data()));
    if (!file) {
        return false;
    }
    const bool written = writeAll(file.get(), contents) == 0 && fchmod(file.get(), 0644) == 0;
    // A failed close can be the write failing late, on file systems that write back on close.
    const bool closed = close(file.release()) == 0;
    if (!written || !closed || std::rename(temporary.data(), path.c_str()) != 0) {
        unlink(temporary.data());
        return false;
    }
    return true;
}

} // namespace zov::dock
