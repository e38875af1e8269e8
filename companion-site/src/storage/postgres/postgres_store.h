#pragma once
// The store in PostgreSQL, shared by any number of instances. Each
// check-and-change is one statement or one transaction whose row locks and
// conditions hold across processes; nothing relies on a lock in this one.

#include <string>

#include "storage/postgres/postgres_pool.h"
#include "storage/store.h"

namespace site {

class PostgresStore final : public Store {
public:
    // `url`: postgresql://... as libpq takes it; `connections`: the pool size.
    PostgresStore(const std::string& url, int connections);

    std::int64_t addUser(const std::string& name, bool pro, const std::string& salt, const std::string& hash,
                         int iterations, std::int64_t now) override;
    std::optional<PasswordRecord> passwordOf(const std::string& name) override;
    std::optional<User> userByName(const std::string& name) override;
    std::vector<UserSummary> users(std::int64_t day) override;
    bool setPlan(std::int64_t userId, bool pro) override;
    std::vector<std::string> removeUser(std::int64_t userId) override;

    bool replaceLinkCode(std::int64_t userId, const std::string& codeHash, std::int64_t expiresAt,
                         const std::string& sessionHash) override;
    std::optional<User> redeemLinkCode(const std::string& codeHash, const std::string& tokenHash,
                                       std::int64_t now) override;

    std::optional<TokenUser> userByToken(const std::string& tokenHash, std::int64_t now, std::int64_t day) override;
    std::vector<Device> devicesOf(std::int64_t userId) override;
    bool revokeDevice(std::int64_t userId, std::int64_t deviceId) override;

    int uploadsOn(std::int64_t userId, std::int64_t day) override;
    bool addShotWithinLimit(const Shot& shot, std::int64_t day, int limit) override;
    std::optional<Shot> shot(const std::string& id) override;
    std::vector<Shot> shotsOf(std::int64_t userId) override;
    bool deleteShot(std::int64_t userId, const std::string& id) override;
    std::vector<std::string> takeExpiredShots(std::int64_t now) override;
    bool hasShot(const std::string& id) override;
    ShotTotals shotTotals() override;

    void addNews(const std::string& title, const std::string& body, std::int64_t now) override;
    std::vector<NewsItem> latestNews(int count) override;
    bool removeNews(std::int64_t id) override;

    bool addSession(const std::string& sessionHash, std::int64_t userId, const std::string& formToken,
                    std::int64_t expiresAt, const std::string& passwordHash) override;
    std::optional<Session> session(const std::string& sessionHash, std::int64_t now) override;
    void deleteSession(const std::string& sessionHash) override;
    void endSessions(std::int64_t userId, const std::string& keptSession) override;
    void setPassword(std::int64_t userId, const std::string& salt, const std::string& hash, int iterations,
                     const std::string& keptSession) override;

    void forgetExpired(std::int64_t now) override;
    // In the database, so every instance counts the same attempts.
    std::unique_ptr<AttemptLimiter> attemptLimiter(const std::string& kind, int maxAttempts,
                                                   std::int64_t windowSeconds) override;
    std::unique_ptr<FailedSignIns> failedSignIns() override;
    // In the database; uploads wait in `folder` for their end.
    std::unique_ptr<ShotStorage> shotStorage(const std::filesystem::path& folder) override;
    // Each lease of a connection is one operation: the attempt counts and
    // each piece of shot bytes too.
    void timeOperations(Histogram& histogram) override { pool_.timeLeases(histogram); }

private:
    PgPool pool_;

    void createSchema();
};

}  // namespace site
