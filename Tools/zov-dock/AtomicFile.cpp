#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zov::dock {

namespace {

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t count = write(fd, contents.data(), contents.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

} // namespace

bool writeFileAtomically(const std::string& path, std::string_view contents) {
    // Beside the file, so that the rename stays within one file system.
    const std::string pattern = path + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, contents) && fchmod(fd, 0644) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temporary.data(), path.c_str()) != 0) {
        unlink(temporary.data());
        return false;
    }
    return true;
}

} // namespace zov::dock
