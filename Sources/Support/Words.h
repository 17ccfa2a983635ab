#pragma once

// Tests on eight bytes at once, for scans over long texts.

#include <cstdint>
#include <cstring>

namespace zov::words {

constexpr uint64_t ones = 0x0101010101010101;
constexpr uint64_t highBits = 0x8080808080808080;

inline uint64_t load(const char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Nonzero when some byte of the word is zero.
constexpr uint64_t hasZeroByte(uint64_t word) {
    return (word - ones) & ~word & highBits;
}

// Nonzero when some byte of the word equals `byte`.
constexpr uint64_t hasByte(uint64_t word, uint8_t byte) {
    return hasZeroByte(word ^ (ones * byte));
}

// Nonzero when some byte of the word is below `bound` (at most 128).
constexpr uint64_t hasByteBelow(uint64_t word, uint8_t bound) {
    return (word - ones * bound) & ~word & highBits;
}

// How many bytes of a word that holds only high bits have theirs set: the
// multiplication sums the bytes into the top one. (A popcount instruction is
// not part of the baseline x86-64 that the runner is built for.)
constexpr int countHighBits(uint64_t highBitsOnly) {
    return static_cast<int>(((highBitsOnly >> 7) * ones) >> 56);
}

} // namespace zov::words
