#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "capture/dimming.h"

namespace {

TEST(Dimming, LevelIsBlackAtAlpha120RoundedToTheNearest) {
    // c × 135 / 255: 0.53 rounds up, 1.06 down, 67.76 up, 134.47 down.
    const std::uint8_t cases[][2] = {{0, 0}, {1, 1}, {2, 1}, {128, 68}, {254, 134}, {255, 135}};
    for (const auto& [level, dimmed] : cases) EXPECT_EQ(dimmedLevel(level), dimmed) << int{level};
}

TEST(Dimming, PixelsKeepTheirChannelsAndRowsApart) {
    // Two rows of two pixels, the source with 4 bytes of padding per row.
    const std::uint32_t source[] = {0xFFFF0000, 0x0000FF00, 0xDEADBEEF, 0x000000FF, 0x00808080, 0xDEADBEEF};
    std::uint32_t target[4];
    std::memset(target, 0xAB, sizeof target);
    dimPixels(reinterpret_cast<const std::uint8_t*>(source), 12, reinterpret_cast<std::uint8_t*>(target), 8, 2, 2);
    EXPECT_EQ(target[0], 0x00870000u);
    EXPECT_EQ(target[1], 0x00008700u);
    EXPECT_EQ(target[2], 0x00000087u);
    EXPECT_EQ(target[3], 0x00444444u);
}

}  // namespace
