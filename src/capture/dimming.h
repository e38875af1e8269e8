#pragma once
// The overlay's dimming worked out on the pixels themselves: black at alpha
// 120 of 255 over an opaque picture leaves each colour channel at
// c × 135 / 255, rounded to the nearest level.

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kDimAlpha = 120;

// The dimmed level of one colour channel.
std::uint8_t dimmedLevel(std::uint8_t level);

// Dims width × height 32-bit pixels (blue, green, red, unused) from `source`
// into `target`, rows `sourceStride` and `targetStride` bytes apart. The
// unused byte comes out 0.
void dimPixels(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* target,
               std::ptrdiff_t targetStride, int width, int height);
