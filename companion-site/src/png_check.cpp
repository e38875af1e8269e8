#include "png_check.h"

#include <array>

namespace site {
namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::uint32_t kMaxChunkLength = 0x7fffffffu;
constexpr std::uint32_t kMaxDimension = 0x7fffffffu;

std::uint32_t readBigEndian(std::string_view bytes, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

bool bitDepthFits(unsigned colourType, unsigned depth) {
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

bool headerIsSound(std::string_view data) {
    const std::uint32_t width = readBigEndian(data, 0);
    const std::uint32_t height = readBigEndian(data, 4);
    const auto field = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    return width >= 1 && width <= kMaxDimension && height >= 1 && height <= kMaxDimension &&
           bitDepthFits(field(9), field(8)) && field(10) == 0 && field(11) == 0 && field(12) <= 1;
}

struct Chunk {
    std::string_view type;
    std::string_view data;
};

// Reads the chunk at `at` and moves past it; false when it is cut short or
// its checksum does not match.
bool nextChunk(std::string_view bytes, std::size_t& at, Chunk& chunk) {
    if (bytes.size() - at < 12) return false;
    const std::uint32_t length = readBigEndian(bytes, at);
    if (length > kMaxChunkLength || bytes.size() - at - 12 < length) return false;
    const std::string_view typeAndData = bytes.substr(at + 4, 4 + length);
    if (crc32(typeAndData) != readBigEndian(bytes, at + 8 + length)) return false;
    chunk = {typeAndData.substr(0, 4), typeAndData.substr(4)};
    at += 12 + length;
    return true;
}

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    std::uint32_t c = 0xffffffffu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

PngProblem checkPng(std::string_view bytes) {
    if (bytes.substr(0, kSignature.size()) != kSignature) return PngProblem::NoSignature;
    std::size_t at = kSignature.size();
    Chunk chunk;
    if (!nextChunk(bytes, at, chunk) || chunk.type != "IHDR" || chunk.data.size() != 13 || !headerIsSound(chunk.data))
        return PngProblem::BadHeader;
    bool imageData = false;
    while (at < bytes.size()) {
        if (!nextChunk(bytes, at, chunk)) return PngProblem::BrokenChunk;
        if (chunk.type == "IDAT") imageData = true;
        if (chunk.type == "IEND") {
            if (!imageData) return PngProblem::NoImageData;
            return chunk.data.empty() && at == bytes.size() ? PngProblem::None : PngProblem::NoEnd;
        }
    }
    return imageData ? PngProblem::NoEnd : PngProblem::NoImageData;
}

}  // namespace site
