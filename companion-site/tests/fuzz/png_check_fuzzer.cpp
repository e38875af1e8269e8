// Any bytes through the PNG check: it must never read out of bounds, the
// verdict must not depend on how the bytes are split into pieces, and what
// it accepts must at least start and end like a PNG file.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/upload/png_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const site::PngProblem whole = site::checkPng(bytes);
    site::PngChecker pieces;
    const std::size_t split = size == 0 ? 0 : data[0] % size;
    pieces.feed(bytes.substr(0, split));
    pieces.feed(bytes.substr(split));
    if (pieces.finish() != whole) std::abort();
    if (whole != site::PngProblem::None) return 0;
    static constexpr std::string_view signature("\x89PNG\r\n\x1a\n", 8);
    static constexpr std::string_view end("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    if (!bytes.starts_with(signature) || !bytes.ends_with(end) || bytes.substr(12, 4) != "IHDR") std::abort();
    return 0;
}
