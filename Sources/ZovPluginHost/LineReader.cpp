#include "LineReader.h"

#include "Utf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

namespace zov {

namespace {

constexpr size_t initialCapacity = size_t{64} << 10;
// A buffer grown for one long line is given back once that line is consumed.
constexpr size_t keptCapacity = size_t{1} << 20;

char* allocate(char* bytes, size_t size) {
    // realloc moves large blocks by remapping pages, so growing a buffer for a
    // long line costs no copy.
    auto* grown = static_cast<char*>(std::realloc(bytes, size));
    if (!grown)
        throw std::bad_alloc();
    return grown;
}

} // namespace

void LineReader::Free::operator()(char* bytes) const {
    std::free(bytes);
}

LineReader::LineReader(int fd)
    : fd_(fd), buffer_(allocate(nullptr, initialCapacity)), capacity_(initialCapacity) {}

std::optional<std::u16string> LineReader::readLine() {
    const std::optional<std::string_view> bytes = nextLine();
    if (!bytes)
        return std::nullopt;
    std::u16string line = utf8ToUtf16(*bytes);
    if (begin_ == end_ && capacity_ > keptCapacity) {
        buffer_.reset(allocate(buffer_.release(), initialCapacity));
        capacity_ = initialCapacity;
        begin_ = end_ = 0;
    }
    return line;
}

std::optional<std::string_view> LineReader::nextLine() {
    size_t scanned = 0; // pending bytes already searched for a line feed
    for (;;) {
        const char* pending = buffer_.get() + begin_;
        if (const void* feed = std::memchr(pending + scanned, '\n', end_ - begin_ - scanned)) {
            size_t length = static_cast<const char*>(feed) - pending;
            begin_ += length + 1;
            if (length > 0 && pending[length - 1] == '\r')
                --length;
            return std::string_view(pending, length);
        }
        scanned = end_ - begin_;
        if (!fill()) {
            if (begin_ == end_)
                return std::nullopt;
            std::string_view last(buffer_.get() + begin_, end_ - begin_);
            begin_ = end_;
            return last;
        }
    }
}

bool LineReader::fill() {
    if (ended_)
        return false;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (capacity_ - end_ < initialCapacity / 4) {
        buffer_.reset(allocate(buffer_.release(), capacity_ * 2));
        capacity_ *= 2;
    }
    for (;;) {
        const ssize_t count = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
        if (count > 0) {
            end_ += static_cast<size_t>(count);
            return true;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // End of input, or a read error: both end the input for good.
        ended_ = true;
        return false;
    }
}

} // namespace zov
