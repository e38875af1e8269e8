#include "http_types.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace site {

std::string SiteRequest::header(const std::string& lowerName) const {
    auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

std::uint64_t SiteRequest::declaredLength() const {
    const std::string text = header("content-length");
    std::uint64_t length = 0;
    std::from_chars(text.data(), text.data() + text.size(), length);
    return length;
}

SiteResponse& SiteResponse::with(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

SiteResponse jsonResponse(int status, const std::string& json) {
    SiteResponse response{status, "application/json; charset=utf-8", json, {}};
    response.with("Cache-Control", "no-store");
    return response;
}

SiteResponse jsonError(int status, const char* sentence) {
    return jsonResponse(status, nlohmann::json{{"error", sentence}}.dump());
}

SiteResponse redirect(const std::string& location) {
    SiteResponse response{303, "text/plain; charset=utf-8", "", {}};
    response.with("Location", location).with("Cache-Control", "no-store");
    return response;
}

}  // namespace site
