#include "ByteBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zov::ByteBuffer;

// Sizes on both sides of the point where a buffer gets a mapping of its own.
class ByteBufferGrowth : public testing::TestWithParam<size_t> {};

TEST_P(ByteBufferGrowth, KeepsEveryByteAcrossGrowth) {
    ByteBuffer buffer;
    std::string expected;
    for (size_t i = 0; expected.size() < GetParam(); ++i) {
        const std::string piece = std::to_string(i) + ',';
        buffer.append(piece);
        expected += piece;
    }
    EXPECT_EQ(buffer.view(), expected);
    EXPECT_GE(buffer.capacity(), buffer.size());
}

INSTANTIATE_TEST_SUITE_P(ByteBuffer, ByteBufferGrowth,
                         testing::Values(0, 100, size_t{2} << 20, size_t{40} << 20));

TEST(ByteBuffer, ResizeKeepsThePrefixAndMovesOwnership) {
    ByteBuffer buffer;
    buffer.append("abc");
    buffer.resize(size_t{8} << 20);
    buffer.data()[buffer.size() - 1] = 'z';
    buffer.resize(3);
    EXPECT_EQ(buffer.view(), "abc");

    ByteBuffer moved = std::move(buffer);
    EXPECT_EQ(moved.view(), "abc");
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.data(), nullptr);

    moved.release();
    EXPECT_EQ(moved.capacity(), 0u);
    moved.append("again");
    EXPECT_EQ(moved.view(), "again");
}

} // namespace
