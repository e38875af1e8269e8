#include "support/site_harness.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <stdexcept>

#include "security/secrets.h"

namespace site_test {

ScratchFolder::ScratchFolder()
    : path_(std::filesystem::temp_directory_path() / ("clipvane-site-test-" + site::toHex(site::randomBytes(8)))) {
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

site::SiteRequest request(const std::string& method, const std::string& path, const std::string& body) {
    return {method, path, {}, kClientAddress, body};
}

std::string member(const site::SiteResponse& response, const std::string& name) {
    const auto parsed = nlohmann::json::parse(response.body, nullptr, false);
    if (!parsed.is_object() || !parsed.contains(name)) return "(none)";
    return parsed[name].is_string() ? parsed[name].get<std::string>() : parsed[name].dump();
}

std::string readAll(site::ByteSource& reader) {
    std::string bytes(reader.size(), '\0');
    std::size_t at = 0;
    while (std::size_t got = reader.read(bytes.data() + at, bytes.size() - at)) at += got;
    bytes.resize(at);
    return bytes;
}

void storeShot(site::ShotStorage& files, const std::string& id, const std::string& bytes) {
    auto incoming = files.receive();
    incoming->write(bytes);
    incoming->keep(id);
}

std::string shotBytes(const site::ShotStorage& files, const std::string& id) {
    const auto reader = files.open(id);
    return reader ? readAll(*reader) : "(none)";
}

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
