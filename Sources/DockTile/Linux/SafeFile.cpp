#include "SafeFile.h"

#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov::docktile {

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::size_t>(status.st_size) > maxBytes) {
        return std::nullopt;
    }
    // The file may grow while it is read: one byte more than allowed tells.
    std::string contents(static_cast<std::size_t>(status.st_size) + 1, '\0');
    std::size_t length = 0;
    while (length < contents.size()) {
        const ssize_t count = read(file.get(), contents.data() + length, contents.size() - length);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        length += static_cast<std::size_t>(count);
        if (length == contents.size() && length <= maxBytes) {
            contents.resize(std::min(contents.size() * 2, maxBytes + 1));
        }
    }
    if (length > maxBytes) {
        return std::nullopt;
    }
    contents.resize(length);
    return contents;
}

} // namespace zov::docktile
