#include "web/site.h"

#include <iostream>
#include <vector>

#include "observability/access_log.h"
#include "security/secrets.h"
#include "web/messages.h"
#include "web/pages/html.h"
#include "web/quota.h"
#include "web/upload/shot_upload.h"

namespace site {
namespace {

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

std::string withoutShotSecret(const std::string& path) {
    constexpr std::size_t kKept = sizeof kShotPrefix - 1 + kLoggedShotIdLength;
    return path.starts_with(kShotPrefix) && path.size() > kKept ? path.substr(0, kKept) + "..." : path;
}

// Called inside a catch block: names the request and what went wrong.
// The answer for the failure being handled, logged: 503 with a sentence when
// the store cannot be reached now, 500 for anything else.
SiteResponse failureAnswer(const SiteRequest& request) {
    const char* kind = "error";
    std::string what;
    try {
        throw;
    } catch (const StoreUnavailable& error) {
        kind = "unavailable";
        what = std::string(": ") + error.what();
    } catch (const std::exception& error) {
        what = std::string(": ") + error.what();
    } catch (...) {
    }
    std::cerr << kind << ": " << request.method << ' ' << safeForLog(withoutShotSecret(request.path)) << what << '\n';
    if (std::string_view(kind) == "error") return jsonError(500, messages::kInternal);
    return jsonError(503, messages::kUnavailable).with("Retry-After", "10");
}

}  // namespace

const Site::Route Site::kRoutes[] = {
    {"api_link_redeem", "/api/link/redeem", "POST", Body::Small, &Site::redeemLinkCode},
    {"api_notifications", "/api/notifications", "GET", Body::None, &Site::notifications},
    {"api_me", "/api/me", "GET", Body::None, &Site::profile, &Site::profileAtOnce},
    {kUploadRoute, "/api/shots", "POST", Body::Shot, &Site::uploadShot},
    {"account", "/account", "GET", Body::None, &Site::accountPage},
    {"account_link_code", "/account/link-code", "POST", Body::Small, &Site::newLinkCode},
    {"account_sign_in", "/account/sign-in", "POST", Body::Small, &Site::signIn},
    {"account_sign_out", "/account/sign-out", "POST", Body::Small, &Site::signOut},
    {"account_sign_out_everywhere", "/account/sign-out-everywhere", "POST", Body::Small, &Site::signOutEverywhere},
    {"account_password", "/account/password", "POST", Body::Small, &Site::changePassword},
    {"account_shot_delete", "/account/shots/delete", "POST", Body::Small, &Site::deleteShot},
    {"account_device_revoke", "/account/devices/revoke", "POST", Body::Small, &Site::revokeDevice},
    {"shot", kShotPrefix, "GET", Body::None, &Site::serveShot},
    {"healthz", "/healthz", "GET", Body::None, &Site::health, &Site::health},
    {"root", "/", "GET", Body::None, &Site::rootPage, &Site::rootPage},
};

RouteNames Site::routeNames() const {
    static const std::vector<const char*> names = [] {
        std::vector<const char*> all;
        for (const Route& route : kRoutes) all.push_back(route.name);
        all.push_back("other");
        return all;
    }();
    return {names, kUploadRoute};
}

std::size_t Site::routeOf(const SiteRequest& request) const {
    const Route* found = findRoute(request);
    return found ? static_cast<std::size_t>(found - kRoutes) : std::size(kRoutes);
}

std::string Site::shownPath(const std::string& path) const {
    return withoutShotSecret(path);
}

std::uint64_t Site::largestBody() const {
    return kMaxShotBytes;
}

SiteResponse Site::fallback(int status, const std::string& path) const {
    switch (status) {
    case 413: return jsonError(413, path == "/api/shots" ? messages::kShotTooLarge : messages::kRequestTooLarge);
    case 431: return jsonError(431, messages::kHeadersTooLarge);
    default: return jsonError(status, status >= 500 ? messages::kInternal : messages::kBadRequest);
    }
}

Site::Site(Store& store, ShotStorage& files, Clock clock, std::string publicUrl, int passwordIterations,
           const Histogram* storeTimes)
    : store_(store),
      files_(files),
      clock_(std::move(clock)),
      publicUrl_(std::move(publicUrl)),
      passwordIterations_(passwordIterations),
      storeTimes_(storeTimes),
      redeemAttempts_(store.attemptLimiter("redeem", kAttemptsPerWindow, kAttemptWindowSeconds)),
      signInAttempts_(store.attemptLimiter("sign-in", kAttemptsPerWindow, kAttemptWindowSeconds)),
      signInFailures_(store.failedSignIns()) {
    while (publicUrl_.ends_with('/')) publicUrl_.pop_back();
}

SiteResponse Site::handle(const SiteRequest& request) {
    try {
        return route(request);
    } catch (...) {
        return failureAnswer(request);
    }
}

std::optional<SiteResponse> Site::quickAnswer(const SiteRequest& request) {
    const Route* found = findRoute(request);
    if (!found) return handle(request);
    if (!found->atOnce) return std::nullopt;
    try {
        return (this->*found->atOnce)(request);
    } catch (...) {
        // A worker tries again, free to wait, and answers any failure.
        return std::nullopt;
    }
}

Admission Site::admit(const SiteRequest& request) {
    const auto refuse = [](SiteResponse answer) { return Admission{std::move(answer), 0, nullptr}; };
    try {
        const Route* found = findRoute(request);
        if (!found) return refuse(noRoute(request));
        if (found->body == Body::None) return refuse(fallback(400, request.path));
        if (found->body == Body::Small) {
            if (request.declaredLength() > kMaxSmallBody) return refuse(fallback(413, request.path));
            return Admission{std::nullopt, kMaxSmallBody, nullptr};
        }
        SiteResponse refusal;
        if (!uploader(request, refusal)) return refuse(refusal);
        return Admission{std::nullopt, kMaxShotBytes, std::make_shared<ShotUpload>(files_.receive())};
    } catch (...) {
        return refuse(failureAnswer(request));
    }
}

bool Site::Route::covers(const std::string& requestPath) const {
    const std::string_view own = path;
    return own.size() > 1 && own.ends_with('/') ? requestPath.starts_with(own) : requestPath == own;
}

const Site::Route* Site::findRoute(const SiteRequest& request) {
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    for (const Route& route : kRoutes) {
        if (route.covers(request.path) && method == route.method) return &route;
    }
    return nullptr;
}

SiteResponse Site::route(const SiteRequest& request) {
    if (request.bodyTooLarge && request.path != "/api/shots") return fallback(413, request.path);
    const Route* found = findRoute(request);
    return found ? (this->*found->handler)(request) : noRoute(request);
}

// 405 with the method the path takes, or 404 when it takes none.
SiteResponse Site::noRoute(const SiteRequest& request) {
    for (const Route& route : kRoutes) {
        if (!route.covers(request.path)) continue;
        const std::string method = route.method;
        return methodNotAllowed(request.path, method == "GET" ? "GET, HEAD" : method);
    }
    return notFound(request.path);
}

void Site::sweep() {
    const std::int64_t now = clock_();
    try {
        redeemAttempts_->forgetExpired(now);
        signInAttempts_->forgetExpired(now);
        signInFailures_->forgetExpired(now);
        for (const std::string& id : store_.takeExpiredShots(now)) files_.remove(id);
        store_.forgetExpired(now);
    } catch (const std::exception& error) {
        // The next sweep catches up; the server carries on.
        std::cerr << "sweep failed: " << error.what() << '\n';
    }
}

SiteResponse Site::rootPage(const SiteRequest&) {
    return redirect("/account");
}

SiteResponse Site::health(const SiteRequest&) {
    return SiteResponse{200, "text/plain; charset=utf-8", "ok\n", {}};
}

}  // namespace site
