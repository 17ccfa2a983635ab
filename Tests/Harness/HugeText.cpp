#include "HugeText.h"

#include "UniqueFd.h"
#include "WriteAll.h"

#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace zov::test {

namespace {

constexpr size_t pieceSize = size_t{2} << 20;
constexpr size_t pageSize = 4096;

} // namespace

HugeText::HugeText(size_t length, char fill, char after) : length_(length) {
    if (length % pieceSize != 0)
        return;
    const UniqueFd piece(::memfd_create("huge-text", MFD_CLOEXEC));
    if (!piece || writeAll(piece.get(), std::string(pieceSize, fill)) != 0)
        return;
    void* range = ::mmap(nullptr, length + pageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (range == MAP_FAILED)
        return;
    char* const bytes = static_cast<char*>(range);
    bool complete = true;
    for (size_t offset = 0; offset < length && complete; offset += pieceSize)
        complete = ::mmap(bytes + offset, pieceSize, PROT_READ, MAP_SHARED | MAP_FIXED, piece.get(),
                          0) != MAP_FAILED;
    // The byte after the text, in a page of its own.
    complete = complete && ::mmap(bytes + length, pageSize, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED;
    if (!complete) {
        ::munmap(range, length + pageSize);
        return;
    }
    bytes[length] = after;
    bytes_ = bytes;
}

HugeText::~HugeText() {
    if (bytes_)
        ::munmap(bytes_, length_ + pageSize);
}

} // namespace zov::test
