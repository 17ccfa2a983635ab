#include "UniqueFd.h"
#include "WriteAll.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using zov::UniqueFd;

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesWhatItOwnsOnceAndHandsItOver) {
    zov::Pipe pipe = zov::makePipe();
    const int readEnd = pipe.read.get();
    EXPECT_TRUE(isOpen(readEnd));
    EXPECT_TRUE(::fcntl(readEnd, F_GETFD) & FD_CLOEXEC);

    UniqueFd moved = std::move(pipe.read);
    EXPECT_FALSE(pipe.read);
    EXPECT_EQ(moved.get(), readEnd);
    EXPECT_TRUE(isOpen(readEnd));

    const int released = moved.release();
    EXPECT_FALSE(moved);
    EXPECT_TRUE(isOpen(released));
    moved.reset(released);
    moved = UniqueFd();
    EXPECT_FALSE(isOpen(readEnd));
}

TEST(WriteAll, WritesEveryByteThroughAPipeSmallerThanTheBuffer) {
    zov::Pipe pipe = zov::makePipe();
    const std::string bytes(4 << 20, 'x');
    std::string received;
    std::thread reader([&] {
        char chunk[4096];
        for (ssize_t count; (count = ::read(pipe.read.get(), chunk, sizeof chunk)) > 0;)
            received.append(chunk, static_cast<size_t>(count));
    });
    EXPECT_EQ(zov::writeAll(pipe.write.get(), bytes), 0);
    pipe.write.reset();
    reader.join();
    EXPECT_TRUE(received == bytes);
}

// A full non-blocking pipe: EAGAIN for a caller with a poll loop of its own,
// or a wait until the reader has made room.
TEST(WriteAll, WaitsForAFullNonBlockingPipeOnlyWhenAsked) {
    const std::string bytes(1 << 20, 'x');
    EXPECT_EQ(zov::writeAll(zov::makePipe(O_CLOEXEC | O_NONBLOCK).write.get(), bytes), EAGAIN);

    zov::Pipe pipe = zov::makePipe();
    ::fcntl(pipe.write.get(), F_SETFL, O_NONBLOCK);
    std::string received;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        char chunk[4096];
        for (ssize_t count; (count = ::read(pipe.read.get(), chunk, sizeof chunk)) > 0;)
            received.append(chunk, static_cast<size_t>(count));
    });
    EXPECT_EQ(zov::writeAll(pipe.write.get(), bytes, zov::WhenFull::wait), 0);
    pipe.write.reset();
    reader.join();
    EXPECT_TRUE(received == bytes);
}

TEST(WriteAll, ReportsTheErrorOfTheWriteThatFailed) {
    zov::Pipe pipe = zov::makePipe();
    pipe.read.reset();
    std::signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(zov::writeAll(pipe.write.get(), "x"), EPIPE);
    EXPECT_EQ(zov::writeAll(-1, "x"), EBADF);
    EXPECT_EQ(zov::writeAll(-1, ""), 0);
}

} // namespace
