#include <gtest/gtest.h>

#include <vector>

#include "editor/dib_block.h"

TEST(DibBlock, ThreeByTwoPictureHasTheClipboardHeader) {
    std::vector<std::uint8_t> block(dibBlockSize(3, 2), 0xCD);
    ASSERT_EQ(block.size(), 64u);
    writeDibHeader(block.data(), 3, 2);
    // Size 40, width 3, height -2 (rows top down), one plane of 32 bits, no
    // compression, 24 bytes of pixels, then zeros; the rows are left alone.
    const std::vector<std::uint8_t> header = {40, 0, 0, 0, 3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 32, 0,
                                              0,  0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,  0, 0, 0, 0, 0, 0, 0, 0xCD};
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 41), header);
}

TEST(DibBlock, EmptyOrOversizedPicturesHaveNoBlock) {
    EXPECT_EQ(dibBlockSize(0, 10), 0u);
    EXPECT_EQ(dibBlockSize(10, -1), 0u);
    EXPECT_EQ(dibBlockSize(32768, 32768), 0u);  // 4 GiB of pixels overflow biSizeImage
    EXPECT_EQ(dibBlockSize(16384, 16384), 40u + 16384u * 16384u * 4u);
}
