#pragma once
// The companion site as plain functions of a request: routing, the program's
// API, shot links and the account pages. The HTTP server only carries bytes.

#include <cstdint>
#include <memory>
#include <string>

#include "base/clock.h"
#include "http/application.h"
#include "observability/metrics.h"
#include "storage/shot_storage.h"
#include "storage/store.h"
#include "web/accounts.h"
#include "web/pages/account_view.h"

namespace site {

inline constexpr std::size_t kMaxSmallBody = 16 * 1024;
inline constexpr std::int64_t kSessionLifetimeSeconds = 7 * 86400;
inline constexpr int kNewsShown = 20;
inline constexpr int kAttemptsPerWindow = 10;
inline constexpr std::int64_t kAttemptWindowSeconds = 60;
inline constexpr char kSessionCookie[] = "__Host-session";
inline constexpr char kSignInCookie[] = "__Host-signin";
inline constexpr char kShotPrefix[] = "/s/";  // shot links: the prefix, then the shot's id

// What the site counts for the operator: how often, never who or what.
struct SiteCounters {
    Counter wrongPasswords;  // at sign-in and on a password change
    Counter throttledByAddress;
    Counter throttledByAccount;
    Counter linkCodesIssued;
    Counter linkCodesRedeemed;
};

class Site final : public Application {
public:
    // `passwordIterations`: the cost of the password hashes the users have;
    // `storeTimes`: the store's operation times, shown with the figures.
    Site(Store& store, ShotStorage& files, Clock clock, std::string publicUrl,
         int passwordIterations = kPasswordIterations, const Histogram* storeTimes = nullptr);

    // A refusal before the body (a wrong route, a missing token, a length
    // or a day's count over the limit), or the body's limit and, for an
    // upload, where it streams to. A store that cannot be reached gives 503,
    // any other failure 500.
    Admission admit(const SiteRequest& request) override;
    // A store that cannot be reached gives a 503 answer, any other failure a
    // 500.
    SiteResponse handle(const SiteRequest& request) override;
    // For the health check, the redirect from the root, any request no
    // route takes, and the program's profile while its lookup need not wait.
    std::optional<SiteResponse> quickAnswer(const SiteRequest& request) override;
    SiteResponse fallback(int status, const std::string& path) const override;

    RouteNames routeNames() const override;
    std::size_t routeOf(const SiteRequest& request) const override;
    std::string shownPath(const std::string& path) const override;
    std::uint64_t largestBody() const override;

    // Deletes expired shots (rows first, then files) and forgets expired
    // codes, sessions and attempt windows. A failure is logged.
    void sweep() override;
    // Without the store, the store's figures are left out.
    void writeMetrics(MetricsPage& page) override;

private:
    Store& store_;
    ShotStorage& files_;
    Clock clock_;
    std::string publicUrl_;
    int passwordIterations_;
    const Histogram* storeTimes_;
    std::unique_ptr<AttemptLimiter> redeemAttempts_;
    std::unique_ptr<AttemptLimiter> signInAttempts_;
    std::unique_ptr<FailedSignIns> signInFailures_;
    SiteCounters counters_;

    static constexpr char kUploadRoute[] = "api_shots";

    enum class Body { None, Small, Shot };
    struct Route {
        const char* name;
        const char* path;  // ending in '/': every path that starts with it
        const char* method;
        Body body;
        SiteResponse (Site::*handler)(const SiteRequest&);
        // Set: the answer on a thread that must never wait, from memory or
        // from a store that need not wait; it throws where it would.
        SiteResponse (Site::*atOnce)(const SiteRequest&) = nullptr;

        bool covers(const std::string& requestPath) const;
    };
    static const Route kRoutes[];

    static const Route* findRoute(const SiteRequest& request);
    SiteResponse route(const SiteRequest& request);
    SiteResponse noRoute(const SiteRequest& request);

    // The program's API
    SiteResponse redeemLinkCode(const SiteRequest& request);
    SiteResponse notifications(const SiteRequest& request);
    using TokenLookup = std::optional<TokenUser> (Store::*)(const std::string&, std::int64_t, std::int64_t);
    SiteResponse profile(const SiteRequest& request);
    SiteResponse profileAtOnce(const SiteRequest& request);  // throws where the lookup would wait
    SiteResponse profileBy(const SiteRequest& request, TokenLookup lookup);
    SiteResponse uploadShot(const SiteRequest& request);
    std::optional<TokenUser> bearerUser(const SiteRequest& request, SiteResponse& refusal,
                                        TokenLookup lookup = &Store::userByToken);
    std::optional<User> uploader(const SiteRequest& request, SiteResponse& refusal);

    // Public shot links
    SiteResponse serveShot(const SiteRequest& request);

    // Account pages
    SiteResponse accountPage(const SiteRequest& request);
    SiteResponse newLinkCode(const SiteRequest& request);
    SiteResponse overview(const Session& session, AccountView view = {}, int status = 200);
    SiteResponse signIn(const SiteRequest& request);
    SiteResponse signOut(const SiteRequest& request);
    SiteResponse changePassword(const SiteRequest& request);
    SiteResponse signOutEverywhere(const SiteRequest& request);
    SiteResponse deleteShot(const SiteRequest& request);
    SiteResponse revokeDevice(const SiteRequest& request);
    SiteResponse signInPage(const SiteRequest& request, int status, const std::string& error,
                            const std::string& userName);
    struct Guess {
        std::optional<PasswordRecord> account;  // set: the password is right
        int status = 0;            // else 401 or 429, with the sentence to show
        std::string sentence;
    };
    Guess tryPassword(const SiteRequest& request, const std::string& userName, const std::string& password);
    std::optional<Session> currentSession(const SiteRequest& request);
    std::optional<Session> formSession(const SiteRequest& request, std::map<std::string, std::string>& fields);

    SiteResponse rootPage(const SiteRequest& request);
    SiteResponse health(const SiteRequest& request);
};

}  // namespace site
