#include "editor/mosaic_cells.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t averageCell(const std::uint8_t* pixels, int stride, CellSpan across, CellSpan down) {
    std::uint64_t sums[4] = {};
    for (int y = down.first; y < down.last; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = across.first; x < across.last; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
            for (int channel = 0; channel < 4; ++channel) sums[channel] += (pixel >> (8 * channel)) & 0xFF;
        }
    }
    std::uint64_t count = static_cast<std::uint64_t>(across.last - across.first) * (down.last - down.first);
    if (count == 0) return 0;
    std::uint32_t average = 0;
    for (int channel = 0; channel < 4; ++channel) {
        average |= static_cast<std::uint32_t>((sums[channel] + count / 2) / count) << (8 * channel);
    }
    return average;
}

}  // namespace

std::vector<std::uint32_t> averageMosaicCells(const std::uint8_t* pixels, int stride, int width, int height,
                                              MosaicGrid grid) {
    std::vector<std::uint32_t> cells;
    cells.reserve(static_cast<std::size_t>(grid.columns) * grid.rows);
    for (int row = 0; row < grid.rows; ++row) {
        CellSpan down = cellSpan(0, height, grid.rows, row);
        for (int column = 0; column < grid.columns; ++column) {
            cells.push_back(averageCell(pixels, stride, cellSpan(0, width, grid.columns, column), down));
        }
    }
    return cells;
}

void fillMosaicCells(std::uint8_t* pixels, int stride, int width, int height, MosaicGrid grid,
                     const std::vector<std::uint32_t>& colours) {
    for (int row = 0; row < grid.rows; ++row) {
        CellSpan down = cellSpan(0, height, grid.rows, row);
        for (int y = down.first; y < down.last; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
            for (int column = 0; column < grid.columns; ++column) {
                CellSpan across = cellSpan(0, width, grid.columns, column);
                std::fill(line + across.first, line + across.last,
                          colours[static_cast<std::size_t>(row) * grid.columns + column]);
            }
        }
    }
}
