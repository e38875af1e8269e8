#pragma once
// Whether an upload is a whole PNG file: signature, a sound IHDR header,
// every chunk complete with a matching checksum, image data, and IEND last.

#include <cstdint>
#include <string_view>

namespace site {

enum class PngProblem {
    None,
    NoSignature,
    BadHeader,
    BrokenChunk,
    NoImageData,
    NoEnd,
};

PngProblem checkPng(std::string_view bytes);

std::uint32_t crc32(std::string_view bytes);

}  // namespace site
