#pragma once
// Whether an upload is a whole PNG file: signature, a sound IHDR header,
// every chunk complete with a matching checksum, image data, and IEND last.

#include <cstdint>
#include <optional>
#include <string>
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

// The same check on a file that arrives in pieces of any size, so an upload
// is checked as it streams to the disk and never held whole.
class PngChecker {
public:
    void feed(std::string_view bytes);
    // The verdict on everything fed so far, taken as the whole file.
    PngProblem finish() const;

private:
    enum class Stage { Signature, ChunkHead, ChunkData, ChunkCrc, AfterEnd };

    Stage stage_ = Stage::Signature;
    std::optional<PngProblem> verdict_;  // set once a problem is certain
    unsigned char field_[8] = {};        // the signature, chunk head or checksum being gathered
    std::size_t filled_ = 0;
    std::uint32_t length_ = 0;
    std::uint32_t remaining_ = 0;
    std::string type_;
    std::uint32_t crc_ = 0;
    int chunks_ = 0;
    bool imageData_ = false;
    std::string header_;  // the IHDR chunk's data

    std::size_t gather(std::string_view bytes, std::size_t size);
    void startChunk();
    void endChunk();
    void fail(PngProblem problem) { verdict_ = problem; }
    PngProblem chunkProblem() const { return chunks_ == 0 ? PngProblem::BadHeader : PngProblem::BrokenChunk; }
};

PngProblem checkPng(std::string_view bytes);

std::uint32_t crc32(std::string_view bytes);

}  // namespace site
