#pragma once
// Reduces each mosaic cell to the average colour of the pixels in it.

#include <cstdint>
#include <vector>

#include "editor/mark_geometry.h"

// pixels: rows of 32-bit ARGB values (alpha in the top byte), `stride` bytes
// apart. Returns columns × rows colours, row by row.
std::vector<std::uint32_t> averageMosaicCells(const std::uint8_t* pixels, int stride, int width, int height,
                                              MosaicGrid grid);
