#include "editor/dib_block.h"

#include <cstring>
#include <limits>

namespace {

template <typename Value>
void put(std::uint8_t* block, std::size_t offset, Value value) {
    std::memcpy(block + offset, &value, sizeof value);  // the header is little-endian, as is the platform
}

}  // namespace

std::size_t dibBlockSize(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    std::uint64_t pixelBytes = static_cast<std::uint64_t>(width) * 4u * static_cast<std::uint64_t>(height);
    if (pixelBytes > std::numeric_limits<std::uint32_t>::max()) return 0;
    return kDibHeaderSize + static_cast<std::size_t>(pixelBytes);
}

void writeDibHeader(std::uint8_t* block, int width, int height) {
    std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    std::memset(block, 0, kDibHeaderSize);
    put<std::uint32_t>(block, 0, 40);
    put<std::int32_t>(block, 4, width);
    put<std::int32_t>(block, 8, -height);
    put<std::uint16_t>(block, 12, 1);
    put<std::uint16_t>(block, 14, 32);
    put<std::uint32_t>(block, 20, static_cast<std::uint32_t>(rowBytes * height));
}
