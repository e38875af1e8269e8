#include "support/site_harness.h"

#include <nlohmann/json.hpp>

#include <regex>

#include "security/link_code.h"
#include "security/secrets.h"
#include "support/test_png.h"
#include "web/accounts.h"

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

std::int64_t Harness::addUser(const std::string& name, bool pro, const std::string& password) {
    return site::createUser(store, name, password, pro, now, kTestIterations);
}

std::string Harness::issueCode(const std::string& name) {
    return site::formatLinkCode(site::issueLinkCode(store, store.userByName(name)->id, now));
}

std::string Harness::linkToken(const std::string& name) {
    return member(redeem(issueCode(name), "198.51.100." + std::to_string(++linked)), "token");
}

site::SiteResponse Harness::get(const std::string& path, const std::string& token) {
    site::SiteRequest built = request("GET", path);
    if (!token.empty()) built.headers["authorization"] = "Bearer " + token;
    return site.handle(built);
}

site::SiteResponse Harness::redeem(const std::string& code, const std::string& address) {
    const std::string body = nlohmann::json{{"code", code}}.dump();
    return site.handle({"POST", "/api/link/redeem", {{"content-type", "application/json"}}, address, body});
}

site::SiteResponse Harness::upload(const std::string& token, const std::string& png) {
    return site.handle(
        {"POST", "/api/shots", {{"content-type", "image/png"}, {"authorization", "Bearer " + token}}, kClientAddress, png});
}

std::string Harness::uploadedShot(const std::string& token, std::uint32_t seed) {
    const std::string url = member(upload(token, makePng(4, 4, seed)), "url");
    const std::string prefix = std::string(kPublicUrl) + "/s/";
    return url.starts_with(prefix) ? url.substr(prefix.size()) : "";
}

site::SiteResponse Harness::send(const std::string& method, const std::string& path, const std::string& body) {
    return site.handle(request(method, path, body));
}

namespace {

std::string readAll(site::ByteSource& reader) {
    std::string bytes(reader.size(), '\0');
    std::size_t at = 0;
    while (std::size_t got = reader.read(bytes.data() + at, bytes.size() - at)) at += got;
    bytes.resize(at);
    return bytes;
}

}  // namespace

std::string bodyOf(const site::SiteResponse& response) {
    return response.bodySource ? readAll(*response.bodySource) : response.body;
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

std::string firstMatch(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "(none)";
}

std::string member(const site::SiteResponse& response, const std::string& name) {
    const auto parsed = nlohmann::json::parse(response.body, nullptr, false);
    if (!parsed.is_object() || !parsed.contains(name)) return "(none)";
    return parsed[name].is_string() ? parsed[name].get<std::string>() : parsed[name].dump();
}

std::string headerOf(const site::SiteResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
        if (key == name) return value;
    }
    return "(none)";
}

}  // namespace site_test
