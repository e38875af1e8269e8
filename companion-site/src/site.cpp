#include "site.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "html.h"
#include "messages.h"
#include "quota.h"
#include "secrets.h"

namespace site {
namespace {

constexpr char kShotPrefix[] = "/s/";
constexpr std::size_t kLoggedPathLength = 120;
constexpr std::size_t kLoggedShotIdLength = 6;

bool isApiPath(const std::string& path) {
    return path.starts_with("/api/");
}

SiteResponse methodNotAllowed(const std::string& path, const std::string& allowed) {
    SiteResponse response = isApiPath(path) ? jsonError(405, messages::kMethodNotAllowed)
                                            : messagePage(405, messages::kPageNotFound, messages::kMethodNotAllowed);
    return response.with("Allow", allowed);
}

SiteResponse notFound(const std::string& path) {
    return isApiPath(path) ? jsonError(404, messages::kNotFound)
                           : messagePage(404, messages::kPageNotFound, "Проверьте адрес страницы.");
}

}  // namespace

std::int64_t systemClock() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

const Site::Route Site::kRoutes[] = {
    {"/api/link/redeem", "POST", &Site::redeemLinkCode},
    {"/api/notifications", "GET", &Site::notifications},
    {"/api/me", "GET", &Site::profile},
    {"/api/shots", "POST", &Site::uploadShot},
    {"/account", "GET", &Site::accountPage},
    {"/account/sign-in", "POST", &Site::signIn},
    {"/account/sign-out", "POST", &Site::signOut},
    {"/account/shots/delete", "POST", &Site::deleteShot},
    {"/account/devices/revoke", "POST", &Site::revokeDevice},
    {"/", "GET", &Site::rootPage},
    {"/healthz", "GET", &Site::health},
};

std::size_t bodyLimitFor(const std::string& path) {
    return path == "/api/shots" ? kMaxShotBytes : kMaxSmallBody;
}

SiteResponse fallbackResponse(int status, const std::string& path) {
    switch (status) {
    case 413: return jsonError(413, path == "/api/shots" ? messages::kShotTooLarge : messages::kRequestTooLarge);
    case 414: return jsonError(414, messages::kUriTooLong);
    case 404: return notFound(path);
    case 405: return jsonError(405, messages::kMethodNotAllowed);
    default: return jsonError(status, status >= 500 ? messages::kInternal : messages::kBadRequest);
    }
}

std::string pathForLog(const std::string& path) {
    std::string shown = path;
    if (shown.starts_with(kShotPrefix) && shown.size() > sizeof kShotPrefix - 1 + kLoggedShotIdLength)
        shown = shown.substr(0, sizeof kShotPrefix - 1 + kLoggedShotIdLength) + "…";
    if (shown.size() > kLoggedPathLength) shown = shown.substr(0, kLoggedPathLength) + "…";
    std::string safe;
    for (unsigned char c : shown) {
        if (c < 0x20 || c == 0x7f || c == '\\' || c == '"') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            safe += escaped;
        } else {
            safe.push_back(static_cast<char>(c));
        }
    }
    return safe;
}

Site::Site(Store& store, ShotFiles& files, Clock clock, std::string publicUrl, int passwordIterations)
    : store_(store),
      files_(files),
      clock_(std::move(clock)),
      publicUrl_(std::move(publicUrl)),
      passwordIterations_(passwordIterations),
      redeemAttempts_(kAttemptsPerWindow, kAttemptWindowSeconds),
      signInAttempts_(kAttemptsPerWindow, kAttemptWindowSeconds) {
    while (publicUrl_.ends_with('/')) publicUrl_.pop_back();
}

SiteResponse Site::handle(const SiteRequest& request) {
    try {
        return route(request);
    } catch (const std::exception& error) {
        std::cerr << "error: " << request.method << ' ' << pathForLog(request.path) << ": " << error.what() << '\n';
    } catch (...) {
        std::cerr << "error: " << request.method << ' ' << pathForLog(request.path) << '\n';
    }
    return jsonError(500, messages::kInternal);
}

SiteResponse Site::route(const SiteRequest& request) {
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    if (request.bodyTooLarge && request.path != "/api/shots") return fallbackResponse(413, request.path);
    std::string allowed;
    for (const Route& route : kRoutes) {
        if (request.path != route.path) continue;
        if (method == route.method) return (this->*route.handler)(request);
        allowed = std::string(route.method) + (std::string(route.method) == "GET" ? ", HEAD" : "");
    }
    if (request.path.starts_with(kShotPrefix)) {
        if (method != "GET") return methodNotAllowed(request.path, "GET, HEAD");
        return serveShot(request.path.substr(sizeof kShotPrefix - 1));
    }
    return allowed.empty() ? notFound(request.path) : methodNotAllowed(request.path, allowed);
}

void Site::sweep() {
    const std::int64_t now = clock_();
    for (const std::string& id : store_.takeExpiredShots(now)) files_.remove(id);
    store_.forgetExpired(now);
    redeemAttempts_.forgetExpired(now);
    signInAttempts_.forgetExpired(now);
}

SiteResponse Site::rootPage(const SiteRequest&) {
    return redirect("/account");
}

SiteResponse Site::health(const SiteRequest&) {
    return SiteResponse{200, "text/plain; charset=utf-8", "ok\n", {}};
}

}  // namespace site
