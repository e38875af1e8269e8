// Any request through the site's handling, with a signed-in user, a linked
// device, a fresh link code and an uploaded shot in place. The input is
//
//   METHOD\nPATH\nname: value\n...\n\nBODY
//
// where $T, $S, $F, $C, $I and $P stand for the device token, the session
// cookie, the session's form token, the link code, the shot id and a valid
// PNG file. A failure inside (an answer of 500) counts as a finding, as does
// an API error that is not a JSON sentence.

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "secrets.h"
#include "shot_upload.h"
#include "support/site_harness.h"
#include "support/test_png.h"

namespace {

struct World {
    site_test::Harness h;
    std::string token, session = site::newSecret(), formToken = site::newSecret(), code, shotId;
    std::string png = site_test::makePng(1, 1);

    World() {
        const auto user = h.addUser("alice", false, "pw");
        token = h.linkToken("alice");
        code = h.issueCode("alice");
        shotId = h.uploadedShot(token);
        h.store.addSession(site::sha256Hex(session), user, formToken, h.now + 3600);
    }
};

std::string expand(std::string text, const World& world) {
    const std::pair<const char*, const std::string*> names[] = {{"$T", &world.token},     {"$S", &world.session},
                                                                 {"$F", &world.formToken}, {"$C", &world.code},
                                                                 {"$I", &world.shotId},    {"$P", &world.png}};
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
    } else if (admission.upload) {
        admission.upload->append(request.body);
        request.upload = admission.upload;
        request.body.clear();
    }
    return site.handle(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World world;
    const site::SiteRequest request = parse(std::string(reinterpret_cast<const char*>(data), size), world);
    check(request, serve(world.h.site, request));
    return 0;
}
