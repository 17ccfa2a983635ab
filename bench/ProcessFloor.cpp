// The process floor: a native program that a host starts, hands a request
// and reaps the way it does the runner, and that only answers with a fixed
// result line. With --echo it sends every line back instead, until its input
// ends: the other half of a pipe ping-pong.

#include <cstring>
#include <unistd.h>

namespace {

bool writeAll(const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(STDOUT_FILENO, bytes, size);
        if (count <= 0)
            return false;
        bytes += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool echo = argc > 1 && std::strcmp(argv[1], "--echo") == 0;
    char buffer[1 << 16];
    for (ssize_t count; (count = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
        if (echo) {
            if (!writeAll(buffer, static_cast<size_t>(count)))
                return 1;
        } else if (std::memchr(buffer, '\n', static_cast<size_t>(count))) {
            break;
        }
    }
    if (echo)
        return 0;
    static const char result[] = "{\"json\":\"{\\\"a\\\":1}\",\"type\":\"result\"}\n";
    return writeAll(result, sizeof result - 1) ? 0 : 1;
}
