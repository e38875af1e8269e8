#pragma once
// Real PNG files for tests, made with zlib (not with the code under test).

#include <cstdint>
#include <string>

namespace site_test {

// An RGB image whose pixels follow `seed`, so different seeds give
// different files. `padTo` grows the file with a private ancillary chunk
// to at least that many bytes.
std::string makePng(int width, int height, std::uint32_t seed = 0, std::size_t padTo = 0);

// A chunk with its length and checksum, for building odd files.
std::string pngChunk(const std::string& type, const std::string& data);

}  // namespace site_test
