// The runner's line reader on any bytes, arriving in any pieces: it gives back
// the lines that a plain split at each line feed gives, each without its line
// feed and one carriage return before it, each followed by a NUL byte.

#include "FuzzCheck.h"
#include "LineReader.h"
#include "UniqueFd.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using zov::fuzz::check;

std::vector<std::string> splitLines(std::string_view input) {
    std::vector<std::string> lines;
    while (!input.empty()) {
        const size_t feed = input.find('\n');
        std::string_view line = input.substr(0, feed);
        if (feed != std::string_view::npos && line.ends_with('\r'))
            line.remove_suffix(1);
        lines.emplace_back(line);
        input.remove_prefix(feed == std::string_view::npos ? input.size() : feed + 1);
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    // Each piece is one record of a sequenced-packet socket, which a read
    // never merges with the next: the pieces are exactly the reads the reader
    // gets. None is larger than the room the reader keeps for a read.
    std::vector<std::string> pieces;
    std::string input;
    while (provider.remaining_bytes() > 0) {
        pieces.push_back(
            provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<size_t>(1, 4096)));
        input += pieces.back();
    }
    int ends[2];
    check(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0, "socketpair");
    zov::UniqueFd readEnd(ends[0]);
    zov::UniqueFd writeEnd(ends[1]);
    std::thread host([&] {
        for (const std::string& piece : pieces) {
            if (!piece.empty())
                check(::send(writeEnd.get(), piece.data(), piece.size(), MSG_NOSIGNAL) ==
                          static_cast<ssize_t>(piece.size()),
                      "send");
        }
        writeEnd.reset();
    });

    const std::vector<std::string> expected = splitLines(input);
    zov::LineReader reader(readEnd.get());
    size_t count = 0;
    while (const std::optional<std::string_view> line = reader.readLine()) {
        check(count < expected.size(), "no more lines than the input holds");
        check(*line == expected[count], "each line is the input's next line");
        check(line->data()[line->size()] == '\0', "a NUL byte follows each line");
        ++count;
        reader.shrink();
    }
    check(count == expected.size(), "every line of the input");
    check(!reader.readLine(), "the end of the input stays the end");
    host.join();
    return 0;
}
