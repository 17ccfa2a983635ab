// What the channel writes when the output fails in the middle of a line.

#include "HostChannel.h"
#include "RunnerError.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using zov::HostChannel;
using zov::engine::String;

// Everything waiting in the pipe.
std::string drain(int fd) {
    std::string bytes;
    char chunk[1 << 16];
    for (ssize_t count; (count = ::read(fd, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, static_cast<size_t>(count));
    return bytes;
}

// Lowers this process's limit on open descriptors to none for one scope: poll
// then refuses to wait on any descriptor (EINVAL), as a system that cannot
// wait would.
class NoDescriptorsToWaitOn {
public:
    NoDescriptorsToWaitOn() {
        ::getrlimit(RLIMIT_NOFILE, &old_);
        const rlimit none{0, old_.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &none);
    }
    ~NoDescriptorsToWaitOn() { ::setrlimit(RLIMIT_NOFILE, &old_); }
    NoDescriptorsToWaitOn(const NoDescriptorsToWaitOn&) = delete;
    NoDescriptorsToWaitOn& operator=(const NoDescriptorsToWaitOn&) = delete;

private:
    rlimit old_{};
};

// A line cut short leaves part of itself with the host; any line after it
// would be glued onto that part. So after a write that failed, the channel
// writes no other line: neither the error line nor a fetch line.
TEST(HostChannel, WritesNothingAfterALineItCouldNotWriteWhole) {
    zov::Pipe output = zov::makePipe(O_CLOEXEC | O_NONBLOCK);
    zov::Pipe input = zov::makePipe();
    HostChannel channel(input.read.get(), output.write.get());
    const std::string text(1 << 20, 'x');
    const std::string line = "{\"json\":\"\\\"" + text + "\\\"\",\"type\":\"result\"}\n";
    // Made first: the engine opens files when it makes its first string.
    const String json = String::fromUtf8("\"" + text + "\"");
    {
        // The pipe fills before the line is written, and the wait for room fails.
        const NoDescriptorsToWaitOn noWaiting;
        EXPECT_THROW(channel.sendResult(json), zov::Failure);
    }
    const std::string written = drain(output.read.get());
    ASSERT_FALSE(written.empty());
    EXPECT_LT(written.size(), line.size());
    EXPECT_TRUE(written == line.substr(0, written.size()));

    // The host has read on: there is room again, but no line may follow.
    EXPECT_THROW(channel.send(zov::errorMessage("after the result", {})), zov::Failure);
    const String reply = channel.fetch(String::fromAscii("{\"url\":\"u\"}"));
    EXPECT_TRUE(reply.view() == u"{\"error\":\"Session transport failed\"}");
    EXPECT_EQ(drain(output.read.get()), "");
}

} // namespace
