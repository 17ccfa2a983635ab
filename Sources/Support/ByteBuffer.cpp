#include "ByteBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace zov {

namespace {

// From this size on a buffer has a mapping of its own, in whole huge pages.
constexpr size_t mappedSize = size_t{2} << 20;

bool isMapped(size_t capacity) {
    return capacity >= mappedSize;
}

size_t roundUp(size_t size, size_t unit) {
    return (size + unit - 1) / unit * unit;
}

char* mapBytes(size_t capacity) {
    void* bytes =
        ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (bytes == MAP_FAILED)
        throw std::bad_alloc();
    adviseHugePages(bytes, capacity);
    return static_cast<char*>(bytes);
}

} // namespace

void adviseHugePages(void* bytes, size_t size) {
    const auto begin = reinterpret_cast<uintptr_t>(bytes);
    const uintptr_t first = roundUp(begin, mappedSize);
    const uintptr_t last = (begin + size) / mappedSize * mappedSize;
    // Only advice: without huge pages the memory works all the same.
    if (first < last)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        release();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void ByteBuffer::reserve(size_t capacity) {
    if (capacity <= capacity_)
        return;
    capacity = std::max({capacity, capacity_ * 2, size_t{256}});
    if (!isMapped(capacity)) {
        auto* grown = static_cast<char*>(std::realloc(bytes_, capacity));
        if (!grown)
            throw std::bad_alloc();
        bytes_ = grown;
    } else if (isMapped(capacity_)) {
        capacity = roundUp(capacity, mappedSize);
        void* grown = ::mremap(bytes_, capacity_, capacity, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED)
            throw std::bad_alloc();
        bytes_ = static_cast<char*>(grown);
    } else {
        capacity = roundUp(capacity, mappedSize);
        char* mapped = mapBytes(capacity);
        if (size_ > 0)
            std::memcpy(mapped, bytes_, size_);
        std::free(bytes_);
        bytes_ = mapped;
    }
    capacity_ = capacity;
}

void ByteBuffer::resize(size_t size) {
    reserve(size);
    size_ = size;
}

void ByteBuffer::append(std::string_view bytes) {
    if (bytes.empty())
        return;
    reserve(size_ + bytes.size());
    std::memcpy(bytes_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
}

void ByteBuffer::release() {
    if (isMapped(capacity_))
        ::munmap(bytes_, capacity_);
    else
        std::free(bytes_);
    bytes_ = nullptr;
    size_ = capacity_ = 0;
}

} // namespace zov
