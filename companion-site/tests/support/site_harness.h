#pragma once
// What the tests, fuzzers and benchmarks share: scratch folders, requests
// built the way the program and a browser send them, answers read back, and
// real PNG files made with zlib (not with the code under test).

#include <cstdint>
#include <filesystem>
#include <string>

#include "storage/shot_files.h"
#include "storage/sqlite/sqlite_store.h"
#include "web/site.h"

namespace site_test {

// A folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline constexpr std::int64_t kStartTime = 1767225600;  // 2026-01-01 00:00:00 UTC
inline constexpr char kPublicUrl[] = "https://site.test";
inline constexpr char kClientAddress[] = "192.0.2.10";
inline constexpr int kTestIterations = 1000;

site::SiteRequest request(const std::string& method, const std::string& path, const std::string& body = "");
// A member of a JSON answer as text ("error": its sentence), or "(none)".
std::string member(const site::SiteResponse& response, const std::string& name);
// Reads all a source gives.
std::string readAll(site::ByteSource& reader);
// Writes a shot's file the way an upload does, and reads one back
// ("(none)" when the shot has no file).
void storeShot(site::ShotStorage& files, const std::string& id, const std::string& bytes);
std::string shotBytes(const site::ShotStorage& files, const std::string& id);

// An RGB image whose pixels follow `seed`, so different seeds give
// different files. `padTo` grows the file with a private ancillary chunk
// to at least that many bytes.
std::string makePng(int width, int height, std::uint32_t seed = 0, std::size_t padTo = 0);
// A chunk with its length and checksum, for building odd files.
std::string pngChunk(const std::string& type, const std::string& data);

}  // namespace site_test
