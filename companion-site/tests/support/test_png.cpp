#include "support/test_png.h"

#include <zlib.h>

#include <stdexcept>

namespace site_test {
namespace {

std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

}  // namespace

std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string typeAndData = type + data;
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size()));
    return bigEndian(static_cast<std::uint32_t>(data.size())) + typeAndData + bigEndian(static_cast<std::uint32_t>(crc));
}

std::string makePng(int width, int height, std::uint32_t seed, std::size_t padTo) {
    std::string raw;
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1103515245u + 12345u;
            raw.push_back(static_cast<char>(state >> 16));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                 static_cast<uLong>(raw.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    packed.resize(packedSize);

    const std::string header = bigEndian(static_cast<std::uint32_t>(width)) +
                               bigEndian(static_cast<std::uint32_t>(height)) + std::string("\x08\x02\x00\x00\x00", 5);
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", packed);
    const std::size_t endSize = 12;
    if (padTo > png.size() + endSize + 12) png += pngChunk("pvTe", std::string(padTo - png.size() - endSize - 12, 'p'));
    return png + pngChunk("IEND", "");
}

}  // namespace site_test
