#include "LineReader.h"

#include "WaitReady.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace zov {

namespace {

constexpr size_t initialCapacity = size_t{64} << 10;
// The least room worth a read; below it the buffer grows first.
constexpr size_t minimumRead = initialCapacity / 4;

} // namespace

LineReader::LineReader(int fd) : fd_(fd) {
    buffer_.reserve(initialCapacity);
}

std::optional<std::string_view> LineReader::readLine() {
    size_t scanned = 0; // pending bytes already searched for a line feed
    for (;;) {
        char* const pending = buffer_.data() + begin_;
        const size_t available = buffer_.size() - begin_;
        if (void* feed = std::memchr(pending + scanned, '\n', available - scanned)) {
            size_t length = static_cast<size_t>(static_cast<char*>(feed) - pending);
            begin_ += length + 1;
            if (length > 0 && pending[length - 1] == '\r')
                --length;
            pending[length] = '\0';
            return std::string_view(pending, length);
        }
        scanned = available;
        if (!fill())
            break;
    }
    // The input has ended: what is left is the last line.
    if (begin_ == buffer_.size())
        return std::nullopt;
    buffer_.reserve(buffer_.size() + 1);
    buffer_.data()[buffer_.size()] = '\0';
    const std::string_view last(buffer_.data() + begin_, buffer_.size() - begin_);
    begin_ = buffer_.size();
    return last;
}

void LineReader::shrink() {
    if (begin_ != buffer_.size() || buffer_.capacity() <= initialCapacity)
        return;
    buffer_.release();
    buffer_.reserve(initialCapacity);
    begin_ = 0;
}

bool LineReader::fill() {
    if (ended_)
        return false;
    if (begin_ > 0) {
        const size_t pending = buffer_.size() - begin_;
        std::memmove(buffer_.data(), buffer_.data() + begin_, pending);
        buffer_.resize(pending);
        begin_ = 0;
    }
    buffer_.reserve(buffer_.size() + minimumRead);
    for (;;) {
        const ssize_t count =
            ::read(fd_, buffer_.data() + buffer_.size(), buffer_.capacity() - buffer_.size());
        if (count > 0) {
            buffer_.resize(buffer_.size() + static_cast<size_t>(count));
            return true;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // A non-blocking input that has nothing yet: the host has not written the rest.
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            waitUntilReady(fd_, POLLIN) == 0)
            continue;
        // End of input, or a read error: both end the input for good.
        ended_ = true;
        return false;
    }
}

} // namespace zov
