#include "web/upload/png_check.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace site {
namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::uint32_t kMaxChunkLength = 0x7fffffffu;
constexpr std::uint32_t kMaxDimension = 0x7fffffffu;
constexpr std::size_t kChunkHeadSize = 8;
constexpr std::size_t kCrcSize = 4;
constexpr std::uint32_t kHeaderLength = 13;

std::uint32_t readBigEndian(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
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

// The running register of the checksum, before its final inversion.
std::uint32_t updateCrc(std::uint32_t c, std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xff] ^ (c >> 8);
    return c;
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

bool headerIsSound(const std::string& data) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::uint32_t width = readBigEndian(bytes);
    const std::uint32_t height = readBigEndian(bytes + 4);
    return width >= 1 && width <= kMaxDimension && height >= 1 && height <= kMaxDimension &&
           bitDepthFits(bytes[9], bytes[8]) && bytes[10] == 0 && bytes[11] == 0 && bytes[12] <= 1;
}

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
    return updateCrc(0xffffffffu, bytes) ^ 0xffffffffu;
}

// Moves up to what `field_` still lacks of `size` bytes into it; gives the
// number taken.
std::size_t PngChecker::gather(std::string_view bytes, std::size_t size) {
    const std::size_t taken = std::min(bytes.size(), size - filled_);
    std::memcpy(field_ + filled_, bytes.data(), taken);
    filled_ += taken;
    return taken;
}

void PngChecker::feed(std::string_view bytes) {
    while (!bytes.empty() && !verdict_) {
        switch (stage_) {
        case Stage::Signature:
            bytes.remove_prefix(gather(bytes, kSignature.size()));
            if (std::memcmp(field_, kSignature.data(), filled_) != 0) fail(PngProblem::NoSignature);
            if (filled_ == kSignature.size()) {
                stage_ = Stage::ChunkHead;
                filled_ = 0;
            }
            break;
        case Stage::ChunkHead:
            bytes.remove_prefix(gather(bytes, kChunkHeadSize));
            if (filled_ == kChunkHeadSize) startChunk();
            break;
        case Stage::ChunkData: {
            const std::string_view data = bytes.substr(0, remaining_);
            crc_ = updateCrc(crc_, data);
            if (chunks_ == 0) header_.append(data);
            remaining_ -= static_cast<std::uint32_t>(data.size());
            bytes.remove_prefix(data.size());
            if (remaining_ == 0) stage_ = Stage::ChunkCrc;
            break;
        }
        case Stage::ChunkCrc:
            bytes.remove_prefix(gather(bytes, kCrcSize));
            if (filled_ == kCrcSize) endChunk();
            break;
        case Stage::AfterEnd: fail(PngProblem::NoEnd); break;
        }
    }
}

void PngChecker::startChunk() {
    length_ = readBigEndian(field_);
    type_.assign(reinterpret_cast<const char*>(field_) + 4, 4);
    filled_ = 0;
    if (length_ > kMaxChunkLength) return fail(chunkProblem());
    if (chunks_ == 0 && (type_ != "IHDR" || length_ != kHeaderLength)) return fail(PngProblem::BadHeader);
    crc_ = updateCrc(0xffffffffu, type_);
    remaining_ = length_;
    stage_ = length_ == 0 ? Stage::ChunkCrc : Stage::ChunkData;
}

void PngChecker::endChunk() {
    filled_ = 0;
    if ((crc_ ^ 0xffffffffu) != readBigEndian(field_)) return fail(chunkProblem());
    if (chunks_++ == 0 && !headerIsSound(header_)) return fail(PngProblem::BadHeader);
    if (type_ == "IDAT") imageData_ = true;
    stage_ = Stage::ChunkHead;
    if (type_ != "IEND") return;
    if (!imageData_) return fail(PngProblem::NoImageData);
    if (length_ != 0) return fail(PngProblem::NoEnd);
    stage_ = Stage::AfterEnd;
}

PngProblem PngChecker::finish() const {
    if (verdict_) return *verdict_;
    switch (stage_) {
    case Stage::Signature: return PngProblem::NoSignature;
    case Stage::AfterEnd: return PngProblem::None;
    case Stage::ChunkHead:
        if (filled_ == 0 && chunks_ > 0) return imageData_ ? PngProblem::NoEnd : PngProblem::NoImageData;
        return chunkProblem();
    default: return chunkProblem();
    }
}

PngProblem checkPng(std::string_view bytes) {
    PngChecker checker;
    checker.feed(bytes);
    return checker.finish();
}

}  // namespace site
