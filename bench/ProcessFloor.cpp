// The process floor: a native program that a host starts, hands a request
// and reaps the way it does the runner, and that only answers with a fixed
// result line. With --echo it sends every line back instead, until its input
// ends: the other half of a pipe ping-pong.

#include "ChannelProtocol.h"
#include "WriteAll.h"

#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const bool echo = argc > 1 && std::strcmp(argv[1], "--echo") == 0;
    char buffer[1 << 16];
    for (ssize_t count; (count = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
        if (echo) {
            if (zov::writeAll(STDOUT_FILENO, std::string_view(buffer, static_cast<size_t>(count))))
                return 1;
        } else if (std::memchr(buffer, '\n', static_cast<size_t>(count))) {
            break;
        }
    }
    if (echo)
        return 0;
    using namespace zov::channel;
    const std::string result = std::string("{\"") + member::json + R"(":"{\"a\":1}",")" +
                               member::type + R"(":")" + type::result + "\"}\n";
    return zov::writeAll(STDOUT_FILENO, result) ? 1 : 0;
}
