#include <gtest/gtest.h>

#include <vector>

#include "editor/flatten_pixels.h"

namespace {

TEST(LayOverWhite, OpaquePixelsAreKeptAndTransparentOnesTurnWhite) {
    // Three pixels a row, two rows, the source padded to four pixels a row.
    std::vector<std::uint32_t> source = {0xFF123456u, 0x00000000u, 0x80FF0000u, 0xDEADBEEFu,
                                         0x000000FFu, 0xFF000000u, 0x4000FF00u, 0xDEADBEEFu};
    std::vector<std::uint32_t> target(6, 0x11111111u);
    layOverWhite(reinterpret_cast<const std::uint8_t*>(source.data()), 16,
                 reinterpret_cast<std::uint8_t*>(target.data()), 12, 3, 2);
    EXPECT_EQ(target[0], 0xFF123456u);
    EXPECT_EQ(target[1], 0xFFFFFFFFu);
    // Half red over white: red stays full, green and blue are half white.
    EXPECT_EQ(target[2], 0xFFFF7F7Fu);
    EXPECT_EQ(target[3], 0xFFFFFFFFu);  // a colour with no alpha is not seen
    EXPECT_EQ(target[4], 0xFF000000u);
    // A quarter green: 0x40 of green plus 0xBF of white.
    EXPECT_EQ(target[5], 0xFFBFFFBFu);
}

}  // namespace
