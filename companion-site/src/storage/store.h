#pragma once
// Everything the site keeps, behind one interface: an SQLite file for one
// machine, or PostgreSQL for several instances that share one database.
// Every check-and-change is exact whatever the number of callers, threads
// or processes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "security/attempt_limiter.h"
#include "storage/shot_storage.h"

namespace site {

class Histogram;

// A device's last-seen time is kept to the hour: a write on every request
// would cost more than the information is worth.
inline constexpr std::int64_t kLastSeenStep = 3600;

struct User {
    std::int64_t id = 0;
    std::string name;
    bool pro = false;
};

// The user behind a device's token, with their uploads on the day asked
// about: what each request of the program needs, in one lookup.
struct TokenUser {
    User user;
    int uploads = 0;
};

struct PasswordRecord {
    User user;
    std::string salt;
    std::string hash;
    int iterations = 0;
};

struct Device {
    std::int64_t id = 0;
    std::int64_t linkedAt = 0;
    std::int64_t lastSeenAt = 0;
};

struct Shot {
    std::string id;
    std::int64_t userId = 0;
    std::int64_t createdAt = 0;
    std::int64_t expiresAt = 0;
    std::int64_t size = 0;
};

struct NewsItem {
    std::string title;
    std::string body;
    std::int64_t id = 0;
    std::int64_t createdAt = 0;
};

// A user as the operator's list shows them.
struct UserSummary {
    User user;
    std::int64_t createdAt = 0;
    int devices = 0;
    int uploadsToday = 0;
    int shots = 0;
};

struct ShotTotals {
    std::int64_t shots = 0;
    std::int64_t bytes = 0;
};

struct Session {
    User user;
    std::string formToken;
};

// The store cannot be reached now (the database is down or the connection
// was lost); the request may succeed later.
class StoreUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An operation asked not to wait would have had to: for the store's lock,
// a file another process holds, a write to the disk or the network.
class WouldWait : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Store {
public:
    virtual ~Store() = default;

    virtual std::int64_t addUser(const std::string& name, bool pro, const std::string& salt, const std::string& hash,
                                 int iterations, std::int64_t now) = 0;
    virtual std::optional<PasswordRecord> passwordOf(const std::string& name) = 0;
    virtual std::optional<User> userByName(const std::string& name) = 0;
    // Every user by name, with the uploads counted on `day`.
    virtual std::vector<UserSummary> users(std::int64_t day) = 0;
    // False when there is no such user.
    virtual bool setPlan(std::int64_t userId, bool pro) = 0;
    // Deletes the user with its codes, tokens, sessions, counts and shots'
    // rows in one step; gives the ids of the shots, whose bytes are the
    // caller's to remove.
    virtual std::vector<std::string> removeUser(std::int64_t userId) = 0;

    // The user's one live code: any earlier code of the user stops working.
    // Asked for from a session (`sessionHash`; empty for the operator), the
    // code is made only while that session lasts, so a session a password
    // change ended cannot link a device after it; false when it has ended.
    virtual bool replaceLinkCode(std::int64_t userId, const std::string& codeHash, std::int64_t expiresAt,
                                 const std::string& sessionHash) = 0;
    // Uses up the code and stores the token in one step; nothing when the
    // code is unknown or expired.
    virtual std::optional<User> redeemLinkCode(const std::string& codeHash, const std::string& tokenHash,
                                               std::int64_t now) = 0;

    virtual std::optional<TokenUser> userByToken(const std::string& tokenHash, std::int64_t now, std::int64_t day) = 0;
    // userByToken for a thread that must never wait; throws WouldWait
    // where it would. A store across the network always would.
    virtual std::optional<TokenUser> userByTokenAtOnce(const std::string&, std::int64_t, std::int64_t) {
        throw WouldWait("the store answers only after a wait");
    }
    virtual std::vector<Device> devicesOf(std::int64_t userId) = 0;
    virtual bool revokeDevice(std::int64_t userId, std::int64_t deviceId) = 0;

    virtual int uploadsOn(std::int64_t userId, std::int64_t day) = 0;
    // Records the shot and counts it against the day, unless the day's count
    // has reached the limit.
    virtual bool addShotWithinLimit(const Shot& shot, std::int64_t day, int limit) = 0;
    virtual std::optional<Shot> shot(const std::string& id) = 0;
    virtual std::vector<Shot> shotsOf(std::int64_t userId) = 0;
    virtual bool deleteShot(std::int64_t userId, const std::string& id) = 0;
    // Removes the rows of expired shots and gives their identifiers; each
    // shot to exactly one caller, however many sweep at once.
    virtual std::vector<std::string> takeExpiredShots(std::int64_t now) = 0;
    virtual bool hasShot(const std::string& id) = 0;
    virtual ShotTotals shotTotals() = 0;

    virtual void addNews(const std::string& title, const std::string& body, std::int64_t now) = 0;
    virtual std::vector<NewsItem> latestNews(int count) = 0;
    // False when there is no such item.
    virtual bool removeNews(std::int64_t id) = 0;

    // Stored only while the user's password is still the one `passwordHash`
    // the sign-in checked, so a sign-in that completes during a password
    // change does not outlive it; false when the password has changed.
    virtual bool addSession(const std::string& sessionHash, std::int64_t userId, const std::string& formToken,
                            std::int64_t expiresAt, const std::string& passwordHash) = 0;
    virtual std::optional<Session> session(const std::string& sessionHash, std::int64_t now) = 0;
    virtual void deleteSession(const std::string& sessionHash) = 0;
    // Ends every session of the user but `keptSession` (a session's hash;
    // empty ends them all).
    virtual void endSessions(std::int64_t userId, const std::string& keptSession) = 0;
    // A new password hash, every session of the user but `keptSession`
    // ended and the user's link code dropped, in one step.
    virtual void setPassword(std::int64_t userId, const std::string& salt, const std::string& hash, int iterations,
                             const std::string& keptSession) = 0;

    // Drops expired link codes and sessions.
    virtual void forgetExpired(std::int64_t now) = 0;

    // A limiter for the attempts of one `kind` (such as "redeem"), shared by
    // everyone who uses this store.
    virtual std::unique_ptr<AttemptLimiter> attemptLimiter(const std::string& kind, int maxAttempts,
                                                           std::int64_t windowSeconds) = 0;
    // Failed sign-ins per account name, shared in the same way.
    virtual std::unique_ptr<FailedSignIns> failedSignIns() = 0;
    // Where a server keeps the bytes of shots; `folder` is for stores that
    // keep them in files.
    virtual std::unique_ptr<ShotStorage> shotStorage(const std::filesystem::path& folder) = 0;

    // Every later operation's seconds go to `histogram`, from asking for
    // the store (a wait for its lock or a connection included) to the end.
    virtual void timeOperations(Histogram& histogram) = 0;
};

}  // namespace site
