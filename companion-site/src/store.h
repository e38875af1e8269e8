#pragma once
// Everything the site keeps, in one SQLite file in WAL mode. One connection,
// used under one lock, so every check-and-change is exact.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sqlite_handles.h"

namespace site {

struct User {
    std::int64_t id = 0;
    std::string name;
    bool pro = false;
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
};

struct Session {
    User user;
    std::string formToken;
};

class Store {
public:
    // ":memory:" gives a store that lives only as long as this object.
    explicit Store(const std::string& path);

    std::int64_t addUser(const std::string& name, bool pro, const std::string& salt, const std::string& hash,
                         int iterations, std::int64_t now);
    std::optional<PasswordRecord> passwordOf(const std::string& name);
    std::optional<User> userByName(const std::string& name);

    // The user's one live code: any earlier code of the user stops working.
    void replaceLinkCode(std::int64_t userId, const std::string& codeHash, std::int64_t expiresAt);
    // Uses up the code and stores the token in one step; nothing when the
    // code is unknown or expired.
    std::optional<User> redeemLinkCode(const std::string& codeHash, const std::string& tokenHash, std::int64_t now);

    std::optional<User> userByToken(const std::string& tokenHash, std::int64_t now);
    std::vector<Device> devicesOf(std::int64_t userId);
    bool revokeDevice(std::int64_t userId, std::int64_t deviceId);

    int uploadsOn(std::int64_t userId, std::int64_t day);
    // Records the shot and counts it against the day, unless the day's count
    // has reached the limit.
    bool addShotWithinLimit(const Shot& shot, std::int64_t day, int limit);
    std::optional<Shot> shot(const std::string& id);
    std::vector<Shot> shotsOf(std::int64_t userId);
    bool deleteShot(std::int64_t userId, const std::string& id);
    // Removes the rows of expired shots and gives their identifiers.
    std::vector<std::string> takeExpiredShots(std::int64_t now);
    bool hasShot(const std::string& id);

    void addNews(const std::string& title, const std::string& body, std::int64_t now);
    std::vector<NewsItem> latestNews(int count);

    void addSession(const std::string& sessionHash, std::int64_t userId, const std::string& formToken,
                    std::int64_t expiresAt);
    std::optional<Session> session(const std::string& sessionHash, std::int64_t now);
    void deleteSession(const std::string& sessionHash);

    // Drops expired link codes and sessions.
    void forgetExpired(std::int64_t now);

    // A consistent copy of the whole store in another file.
    void backupTo(const std::string& path);

private:
    std::mutex mutex_;
    Connection connection_;
    std::unordered_map<const char*, std::unique_ptr<Statement>> statements_;

    Statement& statement(const char* sql);
    template <typename Use>
    auto query(const char* sql, Use use);
    void createSchema();
};

}  // namespace site
