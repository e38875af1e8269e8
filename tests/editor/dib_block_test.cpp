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

TEST(DibBlock, ThreeByTwoPictureHasTheClipboardHeader) {
    std::vector<std::uint8_t> block(dibBlockSize(3, 2), 0xCD);
    ASSERT_EQ(block.size(), 64u);
    writeDibHeader(block.data(), 3, 2);
    EXPECT_EQ(read<std::uint32_t>(block, 0), 40u);
    EXPECT_EQ(read<std::int32_t>(block, 4), 3);
    EXPECT_EQ(read<std::int32_t>(block, 8), -2);
    EXPECT_EQ(read<std::uint16_t>(block, 12), 1);
    EXPECT_EQ(read<std::uint16_t>(block, 14), 32);
    EXPECT_EQ(read<std::uint32_t>(block, 16), 0u);
    EXPECT_EQ(read<std::uint32_t>(block, 20), 24u);
    for (std::size_t offset = 24; offset < 40; offset += 4) EXPECT_EQ(read<std::uint32_t>(block, offset), 0u);
    EXPECT_EQ(block[40], 0xCD);  // the rows are the picture's to fill
}

TEST(DibBlock, EmptyOrOversizedPicturesHaveNoBlock) {
    EXPECT_EQ(dibBlockSize(0, 10), 0u);
    EXPECT_EQ(dibBlockSize(10, -1), 0u);
    EXPECT_EQ(dibBlockSize(32768, 32768), 0u);  // 4 GiB of pixels overflow biSizeImage
    EXPECT_EQ(dibBlockSize(16384, 16384), 40u + 16384u * 16384u * 4u);
}

}  // namespace
