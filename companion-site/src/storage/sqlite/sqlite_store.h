#pragma once
// The store in one SQLite file in WAL mode: the embedded default. One
// connection, used under one lock; transactions that change what they have
// read begin IMMEDIATE, so commands run by other processes on the same file
// stay exact too.

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "storage/sqlite/sqlite_handles.h"
#include "storage/store.h"

namespace site {

class SqliteStore final : public Store {
public:
    // ":memory:" gives a store that lives only as long as this object.
    explicit SqliteStore(const std::string& path);

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
    // Stands aside while another thread uses the store, another process
    // holds the file, or the device's last-seen time is due (a disk write).
    std::optional<TokenUser> userByTokenAtOnce(const std::string& tokenHash, std::int64_t now,
                                               std::int64_t day) override;
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
    // In memory: one process uses the file at a time.
    std::unique_ptr<AttemptLimiter> attemptLimiter(const std::string& kind, int maxAttempts,
                                                   std::int64_t windowSeconds) override;
    std::unique_ptr<FailedSignIns> failedSignIns() override;
    // Durable files in `folder`.
    std::unique_ptr<ShotStorage> shotStorage(const std::filesystem::path& folder) override;
    void timeOperations(Histogram& histogram) override { timing_ = &histogram; }

    // A consistent copy of the whole store in another file.
    void backupTo(const std::string& path);

private:
    std::mutex mutex_;
    Histogram* timing_ = nullptr;
    Connection connection_;
    std::unordered_map<const char*, std::unique_ptr<Statement>> statements_;

    struct TokenRow {
        TokenUser found;
        std::int64_t id = 0;
        std::int64_t lastSeenAt = 0;
    };

    Statement& statement(const char* sql);
    template <typename Use>
    auto query(const char* sql, Use use);
    // The first column of every row of `sql`, run with one parameter.
    std::vector<std::string> texts(const char* sql, std::int64_t parameter);
    std::optional<TokenRow> tokenRow(const std::string& tokenHash, std::int64_t day);
    void createSchema();
};

}  // namespace site
