#pragma once
// Reduces each mosaic cell to the average colour of the pixels in it, and
// paints the cells back at the size of the pixels they cover.

#include <cstdint>
#include <vector>

#include "editor/mark_geometry.h"

// pixels: rows of 32-bit ARGB values (alpha in the top byte), `stride` bytes
// apart. Returns columns × rows colours, row by row.
std::vector<std::uint32_t> averageMosaicCells(const std::uint8_t* pixels, int stride, int width, int height,
                                              MosaicGrid grid);

// Fills width × height pixels, rows `stride` bytes apart, each cell of the
// grid with its colour from `colours` (columns × rows, row by row), on the
// same cell spans as averageMosaicCells.
void fillMosaicCells(std::uint8_t* pixels, int stride, int width, int height, MosaicGrid grid,
                     const std::vector<std::uint32_t>& colours);
