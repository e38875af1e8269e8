#include "capture/dimming.h"

#include <array>

namespace {

std::array<std::uint8_t, 256> dimmedLevels() {
    std::array<std::uint8_t, 256> levels{};
    for (std::uint32_t level = 0; level < 256; ++level) {
        levels[level] = static_cast<std::uint8_t>((level * (255 - kDimAlpha) + 127) / 255);
    }
    return levels;
}

const std::array<std::uint8_t, 256>& levelTable() {
    static const std::array<std::uint8_t, 256> table = dimmedLevels();
    return table;
}

}  // namespace

std::uint8_t dimmedLevel(std::uint8_t level) {
    return levelTable()[level];
}

void dimPixels(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* target,
               std::ptrdiff_t targetStride, int width, int height) {
    const std::array<std::uint8_t, 256>& table = levelTable();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = source + sourceStride * y;
        std::uint8_t* to = target + targetStride * y;
        for (int x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = table[from[0]];
            to[1] = table[from[1]];
            to[2] = table[from[2]];
            to[3] = 0;
        }
    }
}
