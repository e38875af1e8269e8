#pragma once
// What the tests, fuzzers and benchmarks share: scratch folders, requests
// built the way the program and a browser send them, answers read back, and
// real PNG files made with zlib (not with the code under test).

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "security/secrets.h"
#include "storage/shot_files.h"
#include "storage/sqlite/sqlite_store.h"
#include "web/site.h"

namespace site_test {

// A folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder()
        : path_(std::filesystem::temp_directory_path() / ("clipvane-site-test-" + site::toHex(site::randomBytes(8)))) {
        std::filesystem::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline constexpr std::int64_t kStartTime = 1767225600;  // 2026-01-01 00:00:00 UTC
inline constexpr char kPublicUrl[] = "https://site.test";
inline constexpr char kClientAddress[] = "192.0.2.10";
inline constexpr int kTestIterations = 1000;

inline site::SiteRequest request(const std::string& method, const std::string& path, const std::string& body = "") {
    return {method, path, {}, kClientAddress, body};
}
// A member of a JSON answer as text ("error": its sentence), or "(none)".
inline std::string member(const site::SiteResponse& response, const std::string& name) {
    const auto parsed = nlohmann::json::parse(response.body, nullptr, false);
    if (!parsed.is_object() || !parsed.contains(name)) return "(none)";
    return parsed[name].is_string() ? parsed[name].get<std::string>() : parsed[name].dump();
}
inline std::string readAll(site::ByteSource& reader) {
    std::string bytes(reader.size(), '\0');
    std::size_t at = 0;
    while (std::size_t got = reader.read(bytes.data() + at, bytes.size() - at)) at += got;
    bytes.resize(at);
    return bytes;
}
// Writes a shot's file the way an upload does, and reads one back
// ("(none)" when the shot has no file).
inline void storeShot(site::ShotStorage& files, const std::string& id, const std::string& bytes) {
    auto incoming = files.receive();
    incoming->write(bytes);
    incoming->keep(id);
}
inline std::string shotBytes(const site::ShotStorage& files, const std::string& id) {
    const auto reader = files.open(id);
    return reader ? readAll(*reader) : "(none)";
}

inline std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}
// A chunk with its length and checksum, for building odd files.
inline std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string typeAndData = type + data;
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size()));
    return bigEndian(static_cast<std::uint32_t>(data.size())) + typeAndData + bigEndian(static_cast<std::uint32_t>(crc));
}
// An RGB image whose pixels follow `seed`, so different seeds give
// different files. `padTo` grows the file with a private ancillary chunk
// to at least that many bytes.
inline std::string makePng(int width, int height, std::uint32_t seed = 0, std::size_t padTo = 0) {
    std::string raw;
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < width * 3; ++x) raw.push_back(static_cast<char>((state = state * 1103515245u + 12345u) >> 16));
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
    const std::size_t chunkFrame = 12;  // the end chunk, and the padding's own frame
    if (padTo > png.size() + 2 * chunkFrame) png += pngChunk("pvTe", std::string(padTo - png.size() - 2 * chunkFrame, 'p'));
    return png + pngChunk("IEND", "");
}

}  // namespace site_test
