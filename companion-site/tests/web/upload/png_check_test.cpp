// The PNG check, on whole files and on files fed in pieces.

#include <gtest/gtest.h>

#include "support/site_harness.h"
#include "web/upload/png_check.h"

namespace {

using site::PngProblem;
using site_test::pngChunk;

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

std::string header(std::uint32_t width, std::uint32_t height, unsigned depth, unsigned colour, unsigned interlace = 0) {
    return site_test::bigEndian(width) + site_test::bigEndian(height) +
           std::string{static_cast<char>(depth), static_cast<char>(colour), 0, 0, static_cast<char>(interlace)};
}

std::string fileWith(const std::string& ihdrData) {
    return kSignature + pngChunk("IHDR", ihdrData) + pngChunk("IDAT", "x") + pngChunk("IEND", "");
}

std::string flipped(std::string bytes, std::size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

// Each file is judged whole and fed in pieces of several sizes: the verdict
// must be the same.
TEST(PngCheck, VerdictsWholeAndInPieces) {
    const std::string png = site_test::makePng(16, 16, 4);
    const std::string start = kSignature + pngChunk("IHDR", header(1, 1, 8, 2));
    const struct {
        const char* what;
        std::string bytes;
        PngProblem expected;
    } cases[] = {
        {"a real file", png, PngProblem::None},
        {"RGBA", fileWith(header(1, 1, 8, 6)), PngProblem::None},
        {"an interlaced 1-bit palette", fileWith(header(1, 1, 1, 3, 1)), PngProblem::None},
        {"7 bytes", png.substr(0, 7), PngProblem::NoSignature},
        {"no header chunk", kSignature + pngChunk("IDAT", "x") + pngChunk("IEND", ""), PngProblem::BadHeader},
        {"a header checksum", flipped(png, 29), PngProblem::BadHeader},
        {"width 0", fileWith(header(0, 1, 8, 2)), PngProblem::BadHeader},
        {"width 2^31", fileWith(header(0x80000000u, 1, 8, 2)), PngProblem::BadHeader},
        {"4-bit RGB", fileWith(header(1, 1, 4, 2)), PngProblem::BadHeader},
        {"16-bit palette", fileWith(header(1, 1, 16, 3)), PngProblem::BadHeader},
        {"interlace 2", fileWith(header(1, 1, 8, 2, 2)), PngProblem::BadHeader},
        {"a long header", fileWith(header(1, 1, 8, 2) + "x"), PngProblem::BadHeader},
        {"a data checksum", flipped(png, 45), PngProblem::BrokenChunk},
        {"a length past the end", start + "\x7f\xff\xff\xff" "IDAT", PngProblem::BrokenChunk},
        {"a length over the limit", start + "\xff\xff\xff\xff" "IDAT" + std::string(8, 0), PngProblem::BrokenChunk},
        {"no data", start + pngChunk("IEND", ""), PngProblem::NoImageData},
        {"bytes after the end", png + "x", PngProblem::NoEnd},
        {"an end with data", start + pngChunk("IDAT", "x") + pngChunk("IEND", "z"), PngProblem::NoEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(site::checkPng(c.bytes), c.expected) << c.what;
        for (std::size_t piece : {1, 3, 13}) {
            site::PngChecker checker;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece) checker.feed(std::string_view(c.bytes).substr(at, piece));
            EXPECT_EQ(checker.finish(), c.expected) << c.what << " in pieces of " << piece;
        }
    }
}

}  // namespace
