#pragma once

#include <cstddef>
#include <string_view>

namespace zov {

// A growable run of bytes for texts of any size. New space is left
// uninitialised, so that a page is touched only when it is written. Large
// buffers are mapped on their own, on huge pages where the system allows, and
// grow by remapping their pages instead of copying them: on a machine where a
// page fault costs microseconds, a 64 MB line otherwise spends most of its
// time faulting pages in.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { release(); }

    char* data() { return bytes_; }
    const char* data() const { return bytes_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    std::string_view view() const { return {bytes_, size_}; }

    // Makes room for at least `capacity` bytes in all. Throws std::bad_alloc.
    void reserve(size_t capacity);
    // Sets the size; bytes beyond the old size are left uninitialised.
    void resize(size_t size);
    void append(std::string_view bytes);
    // Empties the buffer and gives its memory back.
    void release();

private:
    char* bytes_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Asks for huge pages under the part of [bytes, bytes + size) that whole huge pages cover, before
// it is written: only advice, and nothing for a small range. A string or vector of tens of
// megabytes that is reserved, advised and then filled takes a few page faults instead of
// thousands.
void adviseHugePages(void* bytes, size_t size);

} // namespace zov
