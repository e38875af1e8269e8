#include "editor/flatten_pixels.h"

#include <cstddef>
#include <cstring>

namespace {

std::uint32_t overWhite(std::uint32_t pixel) {
    std::uint32_t alpha = pixel >> 24;
    if (alpha == 0xFF) return pixel;
    std::uint32_t result = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        std::uint32_t channel = (pixel >> shift) & 0xFF;
        result |= ((channel * alpha + 255 * (255 - alpha) + 127) / 255) << shift;
    }
    return result;
}

}  // namespace

void layOverWhite(const std::uint8_t* source, int sourceStride, std::uint8_t* target, int targetStride, int width,
                  int height) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = source + static_cast<std::ptrdiff_t>(y) * sourceStride;
        std::uint8_t* to = target + static_cast<std::ptrdiff_t>(y) * targetStride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, from + 4 * x, 4);
            pixel = overWhite(pixel);
            std::memcpy(to + 4 * x, &pixel, 4);
        }
    }
}
