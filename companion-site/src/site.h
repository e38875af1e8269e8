#pragma once
// The companion site as plain functions of a request: routing, the program's
// API, shot links and the account pages. The HTTP server only carries bytes.

#include <cstdint>
#include <functional>
#include <string>

#include "accounts.h"
#include "http_types.h"
#include "rate_limiter.h"
#include "shot_files.h"
#include "store.h"

namespace site {

// Seconds since 1970 UTC; tests move it by hand.
using Clock = std::function<std::int64_t()>;
std::int64_t systemClock();

inline constexpr std::size_t kMaxSmallBody = 16 * 1024;
inline constexpr std::int64_t kSessionLifetimeSeconds = 7 * 86400;
inline constexpr int kNewsShown = 20;
inline constexpr int kAttemptsPerWindow = 10;
inline constexpr std::int64_t kAttemptWindowSeconds = 60;
inline constexpr char kSessionCookie[] = "__Host-session";
inline constexpr char kSignInCookie[] = "__Host-signin";

// How many body bytes a route takes; the rest of a longer body is dropped.
std::size_t bodyLimitFor(const std::string& path);

// The answer for a status the HTTP layer decided on its own (a body over
// the cap, a malformed request line, an unknown method).
SiteResponse fallbackResponse(int status, const std::string& path);

// A request path made safe for the log: control bytes escaped, long paths
// and the secret part of shot links cut off.
std::string pathForLog(const std::string& path);

class Site {
public:
    // `passwordIterations`: the cost of the password hashes the users have.
    Site(Store& store, ShotFiles& files, Clock clock, std::string publicUrl,
         int passwordIterations = kPasswordIterations);

    // Never throws: a failure inside becomes a 500 answer.
    SiteResponse handle(const SiteRequest& request);

    // Deletes expired shots (rows first, then files) and forgets expired
    // codes, sessions and attempt windows.
    void sweep();

    const std::string& publicUrl() const { return publicUrl_; }

private:
    Store& store_;
    ShotFiles& files_;
    Clock clock_;
    std::string publicUrl_;
    int passwordIterations_;
    RateLimiter redeemAttempts_;
    RateLimiter signInAttempts_;

    struct Route {
        const char* path;
        const char* method;
        SiteResponse (Site::*handler)(const SiteRequest&);
    };
    static const Route kRoutes[];

    SiteResponse route(const SiteRequest& request);

    // The program's API
    SiteResponse redeemLinkCode(const SiteRequest& request);
    SiteResponse notifications(const SiteRequest& request);
    SiteResponse profile(const SiteRequest& request);
    SiteResponse uploadShot(const SiteRequest& request);
    std::optional<User> bearerUser(const SiteRequest& request, SiteResponse& refusal);

    // Public shot links
    SiteResponse serveShot(const std::string& id);

    // Account pages
    SiteResponse accountPage(const SiteRequest& request);
    SiteResponse signIn(const SiteRequest& request);
    SiteResponse signOut(const SiteRequest& request);
    SiteResponse deleteShot(const SiteRequest& request);
    SiteResponse revokeDevice(const SiteRequest& request);
    SiteResponse signInPage(const SiteRequest& request, int status, const char* error, const std::string& userName);
    std::optional<Session> currentSession(const SiteRequest& request);
    std::optional<Session> formSession(const SiteRequest& request, std::map<std::string, std::string>& fields);

    SiteResponse rootPage(const SiteRequest& request);
    SiteResponse health(const SiteRequest& request);
};

}  // namespace site
