// Any request through the site's handling, with a signed-in user, a linked
// device, a fresh link code and an uploaded shot in place. The input is
//
//   METHOD\nPATH\nname: value\n...\n\nBODY
//
// where $T, $S, $F, $C, $I and $P stand for the device token, the session
// cookie, the session's form token, the link code, the shot id and a valid
// PNG file. A failure inside (an answer of 500) counts as a finding.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "accounts.h"
#include "png_check.h"
#include "quota.h"
#include "secrets.h"
#include "shot_files.h"
#include "shot_upload.h"
#include "site.h"
#include "sqlite_store.h"

namespace {

constexpr std::int64_t kNow = 1767225600;
const std::string kPng(
    "\x89PNG\r\n\x1a\n"
    "\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde"
    "\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\x00\x00\x03\x01\x01\x00\xc9\xfe\x92\xef"
    "\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    69);

struct World {
    std::filesystem::path folder;
    site::SqliteStore store{":memory:"};
    site::ShotFiles files;
    site::Site site;
    std::string token, session, formToken, code, shotId;

    explicit World(const std::filesystem::path& scratch)
        : folder(scratch), files(scratch, false), site(store, files, [] { return kNow; }, "https://fuzz.test", 1) {
        const auto user = site::createUser(store, "alice", "pw", false, kNow, 1);
        token = site::newSecret();
        const std::string linking = site::issueLinkCode(store, user, kNow);
        store.redeemLinkCode(site::sha256Hex(linking), site::sha256Hex(token), kNow);
        code = site::issueLinkCode(store, user, kNow);
        session = site::newSecret();
        formToken = site::newSecret();
        store.addSession(site::sha256Hex(session), user, formToken, kNow + 3600);
        shotId = site::newShotId();
        auto incoming = files.receive();
        incoming->write(kPng);
        incoming->keep(shotId);
        store.addShotWithinLimit({shotId, user, kNow, kNow + site::kShotLifetimeSeconds, 61}, site::utcDay(kNow), 30);
    }
};

std::string expand(std::string text, const World& world) {
    const std::pair<const char*, const std::string*> names[] = {{"$T", &world.token},     {"$S", &world.session},
                                                                 {"$F", &world.formToken}, {"$C", &world.code},
                                                                 {"$I", &world.shotId},    {"$P", &kPng}};
    for (const auto& [name, value] : names) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value->size()))
            text.replace(at, 2, *value);
    }
    return text;
}

std::string nextLine(std::string_view& input) {
    const std::size_t end = input.find('\n');
    const std::string line(input.substr(0, end));
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return line;
}

site::SiteRequest parse(std::string_view input, const World& world) {
    site::SiteRequest request;
    request.remoteAddress = "192.0.2.1";
    request.method = nextLine(input);
    request.path = expand(nextLine(input), world);
    for (std::string line = nextLine(input); !line.empty(); line = nextLine(input)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (value.starts_with(' ')) value.erase(0, 1);
        request.headers.emplace(name, expand(value, world));
    }
    request.body = expand(std::string(input), world);
    request.headers["content-length"] = std::to_string(request.body.size());
    return request;
}

std::string bodyOf(const site::SiteResponse& response) {
    if (!response.shot) return response.body;
    std::string bytes(response.shot->size(), '\0');
    bytes.resize(response.shot->read(bytes.data(), bytes.size()));
    return bytes;
}

void check(const site::SiteRequest& request, const site::SiteResponse& response) {
    if (response.status < 200 || response.status >= 500 || response.contentType.empty()) std::abort();
    if (request.path.starts_with("/api/") && response.status >= 400) {
        const auto body = nlohmann::json::parse(response.body, nullptr, false);
        if (!body.is_object() || !body.contains("error") || !body["error"].is_string()) std::abort();
    }
    if (response.contentType == "image/png" && site::checkPng(bodyOf(response)) != site::PngProblem::None) std::abort();
}

// As the HTTP layer does it: a request with a body is admitted from its
// headers first, then its body goes to the route, within the route's limit.
site::SiteResponse serve(site::Site& site, site::SiteRequest request) {
    if (request.body.empty()) return site.handle(request);
    const site::Admission admission = site.admit(request);
    if (admission.refusal) return *admission.refusal;
    if (request.body.size() > admission.bodyLimit) {
        request.bodyTooLarge = true;
        request.body.clear();
    } else if (admission.upload) {
        admission.upload->append(request.body);
        request.upload = admission.upload;
        request.body.clear();
    }
    return site.handle(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path scratch = [] {
        auto path = std::filesystem::temp_directory_path() / ("clipvane-site-fuzz-" + site::toHex(site::randomBytes(6)));
        std::filesystem::create_directories(path);
        return path;
    }();
    {
        World world(scratch);
        if (site::checkPng(kPng) != site::PngProblem::None) std::abort();
        const site::SiteRequest request = parse(std::string_view(reinterpret_cast<const char*>(data), size), world);
        check(request, serve(world.site, request));
    }
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) std::filesystem::remove(entry.path());
    return 0;
}
