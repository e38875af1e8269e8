#include "png_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "support/test_png.h"

namespace {

using site::PngProblem;
using site_test::makePng;
using site_test::pngChunk;

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

std::string header(std::uint32_t width, std::uint32_t height, unsigned depth, unsigned colour, unsigned interlace = 0) {
    std::string data;
    for (std::uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<char>(v >> shift));
    }
    return data + std::string{static_cast<char>(depth), static_cast<char>(colour), 0, 0, static_cast<char>(interlace)};
}

std::string fileWith(const std::string& ihdrData) {
    return kSignature + pngChunk("IHDR", ihdrData) + pngChunk("IDAT", "x") + pngChunk("IEND", "");
}

TEST(PngCheck, RealFilesPass) {
    EXPECT_EQ(site::checkPng(makePng(1, 1)), PngProblem::None);
    EXPECT_EQ(site::checkPng(makePng(64, 33, 7)), PngProblem::None);
    EXPECT_EQ(site::checkPng(makePng(8, 8, 1, 100000)), PngProblem::None);
}

TEST(PngCheck, ChecksumAgreesWithZlib) {
    const std::string data = makePng(20, 20, 3);
    EXPECT_EQ(site::crc32(data), ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    EXPECT_EQ(site::crc32(""), 0u);
}

TEST(PngCheck, EveryTruncationIsRefused) {
    const std::string png = makePng(16, 16, 5);
    for (std::size_t length = 0; length < png.size(); ++length)
        EXPECT_NE(site::checkPng(png.substr(0, length)), PngProblem::None) << length;
    EXPECT_EQ(site::checkPng(png.substr(0, 7)), PngProblem::NoSignature);
    EXPECT_EQ(site::checkPng(png.substr(0, 20)), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(png.substr(0, png.size() - 12)), PngProblem::NoEnd);
}

TEST(PngCheck, OtherFilesAreRefused) {
    EXPECT_EQ(site::checkPng("GIF89a........"), PngProblem::NoSignature);
    EXPECT_EQ(site::checkPng(std::string("\xff\xd8\xff\xe0", 4) + std::string(100, 'j')), PngProblem::NoSignature);
    EXPECT_EQ(site::checkPng("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), PngProblem::NoSignature);
    EXPECT_EQ(site::checkPng(kSignature), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(kSignature + pngChunk("IDAT", "x") + pngChunk("IEND", "")), PngProblem::BadHeader);
}

TEST(PngCheck, HeaderFieldsAreChecked) {
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 8, 6))), PngProblem::None);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 1, 3, 1))), PngProblem::None);
    EXPECT_EQ(site::checkPng(fileWith(header(0, 1, 8, 2))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 0, 8, 2))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(0x80000000u, 1, 8, 2))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 4, 2))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 16, 3))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 8, 5))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 8, 2, 2))), PngProblem::BadHeader);
    EXPECT_EQ(site::checkPng(fileWith(header(1, 1, 8, 2) + "x")), PngProblem::BadHeader);
}

TEST(PngCheck, DamagedChunksAreRefused) {
    std::string png = makePng(16, 16, 2);
    std::string flipped = png;
    flipped[45] ^= 0x01;  // inside the image data
    EXPECT_EQ(site::checkPng(flipped), PngProblem::BrokenChunk);
    std::string badHeaderCrc = png;
    badHeaderCrc[29] ^= 0x01;
    EXPECT_EQ(site::checkPng(badHeaderCrc), PngProblem::BadHeader);
    // A length field that points far past the end of the file.
    const std::string hugeLength = kSignature + pngChunk("IHDR", header(1, 1, 8, 2)) + "\x7f\xff\xff\xff" "IDAT";
    EXPECT_EQ(site::checkPng(hugeLength), PngProblem::BrokenChunk);
    const std::string overLimit = kSignature + pngChunk("IHDR", header(1, 1, 8, 2)) + "\xff\xff\xff\xff" "IDAT";
    EXPECT_EQ(site::checkPng(overLimit + std::string(8, 0)), PngProblem::BrokenChunk);
}

TEST(PngCheck, ImageDataAndAFinalEndAreRequired) {
    const std::string start = kSignature + pngChunk("IHDR", header(1, 1, 8, 2));
    EXPECT_EQ(site::checkPng(start + pngChunk("IEND", "")), PngProblem::NoImageData);
    EXPECT_EQ(site::checkPng(start), PngProblem::NoImageData);
    EXPECT_EQ(site::checkPng(start + pngChunk("IDAT", "x")), PngProblem::NoEnd);
    EXPECT_EQ(site::checkPng(start + pngChunk("IDAT", "x") + pngChunk("IEND", "") + "junk"), PngProblem::NoEnd);
    EXPECT_EQ(site::checkPng(start + pngChunk("IDAT", "x") + pngChunk("IEND", "z")), PngProblem::NoEnd);
}

TEST(PngCheck, PiecesOfAnySizeGiveTheSameVerdict) {
    const std::string png = makePng(16, 16, 4);
    std::string badCrc = png;
    badCrc[45] ^= 0x01;
    const struct {
        std::string bytes;
        PngProblem expected;
    } cases[] = {
        {png, PngProblem::None},
        {png.substr(0, 7), PngProblem::NoSignature},
        {png.substr(0, 20), PngProblem::BadHeader},
        {png.substr(0, 45), PngProblem::BrokenChunk},
        {png.substr(0, png.size() - 12), PngProblem::NoEnd},
        {png + "x", PngProblem::NoEnd},
        {badCrc, PngProblem::BrokenChunk},
        {kSignature + pngChunk("IHDR", header(1, 1, 8, 2)) + pngChunk("IEND", ""), PngProblem::NoImageData},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1, 3, 13}) {
            site::PngChecker checker;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece) checker.feed(std::string_view(c.bytes).substr(at, piece));
            EXPECT_EQ(checker.finish(), c.expected) << c.bytes.size() << " bytes in pieces of " << piece;
        }
    }
}

}  // namespace
