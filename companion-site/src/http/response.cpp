#include "http/response.h"

#include <nlohmann/json.hpp>

namespace site {

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
