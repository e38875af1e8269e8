#pragma once
// A Site over an in-memory store, a scratch folder and a hand-moved clock,
// with helpers that build requests the way the program and a browser do.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
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

struct Harness {
    ScratchFolder folder;
    std::atomic<std::int64_t> now{kStartTime};
    site::SqliteStore store{":memory:"};
    site::ShotFiles files{folder.path() / "shots", false};
    site::Site site{store, files, [this] { return now.load(); }, kPublicUrl, kTestIterations};

    std::int64_t addUser(const std::string& name, bool pro = false, const std::string& password = "secret-word");
    std::string issueCode(const std::string& name);
    std::string linkToken(const std::string& name);  // a redeemed token, from an address of its own
    int linked = 0;

    site::SiteResponse get(const std::string& path, const std::string& token = "");
    site::SiteResponse redeem(const std::string& code, const std::string& address = kClientAddress);
    site::SiteResponse upload(const std::string& token, const std::string& png);
    // Uploads a small PNG: the new shot's id, or "" when it was refused.
    std::string uploadedShot(const std::string& token, std::uint32_t seed = 0);
    site::SiteResponse send(const std::string& method, const std::string& path, const std::string& body = "");
};

site::SiteRequest request(const std::string& method, const std::string& path, const std::string& body = "");

// The answer's body, read from the shot's file when it carries one.
std::string bodyOf(const site::SiteResponse& response);
// Writes a shot's file the way an upload does, and reads one back
// ("(none)" when the shot has no file).
void storeShot(site::ShotStorage& files, const std::string& id, const std::string& bytes);
std::string shotBytes(const site::ShotStorage& files, const std::string& id);

// The first group of `pattern` in `text`, or "(none)".
std::string firstMatch(const std::string& text, const std::string& pattern);
// A member of a JSON answer as text ("error": its sentence), or "(none)".
std::string member(const site::SiteResponse& response, const std::string& name);
std::string headerOf(const site::SiteResponse& response, const std::string& name);

}  // namespace site_test
