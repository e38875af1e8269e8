#pragma once
// The clipboard's CF_DIB form of a 32-bit picture: a 40-byte header, then
// the rows top first, four bytes a pixel (blue, green, red, alpha).

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDibHeaderSize = 40;

// 0 when the picture is empty or its pixel bytes do not fit the header's
// 32-bit size field.
std::size_t dibBlockSize(int width, int height);

// Writes dibBlockSize(width, height) bytes. `rows` points at the top row of
// 32-bit pixels, `stride` bytes apart (negative for bottom-up memory).
void writeDibBlock(std::uint8_t* block, int width, int height, const std::uint8_t* rows, std::ptrdiff_t stride);
