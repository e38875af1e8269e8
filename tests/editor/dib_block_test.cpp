#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "editor/dib_block.h"

namespace {

template <typename Value>
Value read(const std::vector<std::uint8_t>& block, std::size_t offset) {
    Value value;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
}

std::vector<std::uint8_t> blockOf(int width, int height, const std::uint8_t* rows, std::ptrdiff_t stride) {
    std::vector<std::uint8_t> block(dibBlockSize(width, height), 0xCD);
    writeDibBlock(block.data(), width, height, rows, stride);
    return block;
}

TEST(DibBlock, ThreeByTwoPictureHasTheHeaderAndRowsTopFirst) {
    // Rows padded to 16 bytes; pixel (x, y) has blue x, green y, red 0x80.
    std::uint8_t rows[2][16];
    std::memset(rows, 0xEE, sizeof rows);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::uint8_t pixel[4] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0x80, 0xFF};
            std::memcpy(&rows[y][x * 4], pixel, 4);
        }
    auto block = blockOf(3, 2, &rows[0][0], 16);
    ASSERT_EQ(block.size(), 64u);
    EXPECT_EQ(read<std::uint32_t>(block, 0), 40u);
    EXPECT_EQ(read<std::int32_t>(block, 4), 3);
    EXPECT_EQ(read<std::int32_t>(block, 8), -2);
    EXPECT_EQ(read<std::uint16_t>(block, 12), 1);
    EXPECT_EQ(read<std::uint16_t>(block, 14), 32);
    EXPECT_EQ(read<std::uint32_t>(block, 16), 0u);
    EXPECT_EQ(read<std::uint32_t>(block, 20), 24u);
    for (std::size_t offset = 24; offset < 40; offset += 4) EXPECT_EQ(read<std::uint32_t>(block, offset), 0u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::size_t at = 40 + (y * 3 + x) * 4;
            EXPECT_EQ(block[at], x);
            EXPECT_EQ(block[at + 1], y);
            EXPECT_EQ(block[at + 2], 0x80);
            EXPECT_EQ(block[at + 3], 0xFF);
        }
}

TEST(DibBlock, BottomUpMemoryStillComesOutTopFirst) {
    std::uint32_t memory[2] = {0xFF000002u, 0xFF000001u};  // bottom row first in memory
    auto block = blockOf(1, 2, reinterpret_cast<const std::uint8_t*>(&memory[1]), -4);
    EXPECT_EQ(read<std::uint32_t>(block, 40), 0xFF000001u);
    EXPECT_EQ(read<std::uint32_t>(block, 44), 0xFF000002u);
}

TEST(DibBlock, EmptyOrOversizedPicturesHaveNoBlock) {
    EXPECT_EQ(dibBlockSize(0, 10), 0u);
    EXPECT_EQ(dibBlockSize(10, -1), 0u);
    EXPECT_EQ(dibBlockSize(32768, 32768), 0u);  // 4 GiB of pixels overflow biSizeImage
    EXPECT_EQ(dibBlockSize(16384, 16384), 40u + 16384u * 16384u * 4u);
}

}  // namespace
