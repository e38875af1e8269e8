// Any request through the site's handling, with a signed-in user, a linked
// device, a fresh link code and an uploaded shot in place. The input is
//
//   METHOD\nPATH\nname: value\n...\n\nBODY
//
// where $T, $S, $F, $C, $I and $P stand for the device token, the session
// cookie, the session's form token, the link code, the shot id and a valid
// PNG file. A failure inside (an answer of 500) counts as a finding, as does
// an API error that is not a JSON sentence.

#include <cstdlib>
#include <iterator>
#include <sstream>

#include "security/link_code.h"
#include "support/site_harness.h"
#include "web/accounts.h"
#include "web/quota.h"
#include "web/upload/shot_upload.h"

namespace {

const std::string kPng = site_test::makePng(1, 1);

const site_test::ScratchFolder kScratch;  // emptied after every input

// A signed-in user with a linked device, a live code and a shot, made in
// the store itself and hashed once, to keep every input cheap.
struct World {
    site::SqliteStore store{":memory:"};
    site::ShotFiles files{kScratch.path(), false};
    site::Site site{store, files, [] { return site_test::kStartTime; }, site_test::kPublicUrl, 1};
    std::string token = site::newSecret(), session = site::newSecret(), formToken = site::newSecret(), code;
    std::string shotId = site::newShotId();

    World() {
        const std::int64_t now = site_test::kStartTime;
        const auto user = site::createUser(store, "alice", "pw", false, now, 1);
        store.replaceLinkCode(user, "linking", now + 600, "");
        store.redeemLinkCode("linking", site::sha256Hex(token), now);
        code = site::issueLinkCode(store, user, now);
        store.addSession(site::sha256Hex(session), user, formToken, now + 3600, store.passwordOf("alice")->hash);
        site_test::storeShot(files, shotId, kPng);
        const auto size = static_cast<std::int64_t>(kPng.size());
        store.addShotWithinLimit({shotId, user, now, now + site::kShotLifetimeSeconds, size}, site::utcDay(now), 30);
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

site::SiteRequest parse(const std::string& input, const World& world) {
    std::istringstream in(input);
    site::SiteRequest request;
    request.remoteAddress = "192.0.2.1";
    std::getline(in, request.method);
    std::getline(in, request.path);
    request.path = expand(request.path, world);
    for (std::string line; std::getline(in, line) && !line.empty();) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        request.headers.emplace(name, expand(value == std::string::npos ? "" : line.substr(value), world));
    }
    request.body = expand(std::string(std::istreambuf_iterator<char>(in), {}), world);
    request.headers["content-length"] = std::to_string(request.body.size());
    return request;
}

void check(const site::SiteRequest& request, const site::SiteResponse& response) {
    if (response.status < 200 || response.status >= 500 || response.contentType.empty()) std::abort();
    if (request.path.starts_with("/api/") && response.status >= 400) {
        const auto body = nlohmann::json::parse(response.body, nullptr, false);
        if (!body.is_object() || !body.contains("error") || !body["error"].is_string()) std::abort();
    }
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
    } else if (admission.bodySink) {
        admission.bodySink->append(request.body);
        request.bodySink = admission.bodySink;
        request.body.clear();
    }
    return site.handle(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        World world;
        const site::SiteRequest request = parse(std::string(reinterpret_cast<const char*>(data), size), world);
        check(request, serve(world.site, request));
    }
    for (const auto& entry : std::filesystem::directory_iterator(kScratch.path())) std::filesystem::remove(entry.path());
    return 0;
}
