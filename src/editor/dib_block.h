#pragma once
// The clipboard's CF_DIB form of a 32-bit picture: a 40-byte header, then
// the rows top first, four bytes a pixel (blue, green, red, alpha).

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDibHeaderSize = 40;

// 0 when the picture is empty or its pixel bytes do not fit the header's
// 32-bit size field.
std::size_t dibBlockSize(int width, int height);

// Writes the 40-byte header of a width × height block. The rows follow it,
// top first, width × 4 bytes each: a picture drawn top-down straight into
// the block after the header fills them.
void writeDibHeader(std::uint8_t* block, int width, int height);
