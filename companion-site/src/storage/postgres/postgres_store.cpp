#include "storage/postgres/postgres_store.h"

#include <iterator>

#include "security/sign_in_throttle.h"
#include "storage/postgres/postgres_shots.h"
#include "storage/schema_version.h"

namespace site {
namespace {

constexpr char kSchemaVersion1[] = R"sql(
CREATE TABLE users (
  id BIGSERIAL PRIMARY KEY, name TEXT NOT NULL UNIQUE, pro BOOLEAN NOT NULL,
  salt BYTEA NOT NULL, password BYTEA NOT NULL, iterations INTEGER NOT NULL, created_at BIGINT NOT NULL);
CREATE TABLE link_codes (
  hash TEXT PRIMARY KEY, user_id BIGINT NOT NULL REFERENCES users(id), expires_at BIGINT NOT NULL);
CREATE INDEX link_codes_by_expiry ON link_codes(expires_at);
CREATE TABLE tokens (
  id BIGSERIAL PRIMARY KEY, hash TEXT NOT NULL UNIQUE, user_id BIGINT NOT NULL REFERENCES users(id),
  linked_at BIGINT NOT NULL, last_seen_at BIGINT NOT NULL);
CREATE INDEX tokens_by_user ON tokens(user_id);
CREATE TABLE shots (
  id TEXT PRIMARY KEY, user_id BIGINT NOT NULL REFERENCES users(id), created_at BIGINT NOT NULL,
  expires_at BIGINT NOT NULL, size BIGINT NOT NULL);
CREATE INDEX shots_by_user ON shots(user_id, created_at);
CREATE INDEX shots_by_expiry ON shots(expires_at);
CREATE TABLE daily_uploads (
  user_id BIGINT NOT NULL REFERENCES users(id), day BIGINT NOT NULL, count INTEGER NOT NULL,
  PRIMARY KEY (user_id, day));
CREATE TABLE news (
  id BIGSERIAL PRIMARY KEY, title TEXT NOT NULL, body TEXT NOT NULL, created_at BIGINT NOT NULL);
CREATE TABLE sessions (
  hash TEXT PRIMARY KEY, user_id BIGINT NOT NULL REFERENCES users(id), form_token TEXT NOT NULL,
  expires_at BIGINT NOT NULL);
CREATE INDEX sessions_by_expiry ON sessions(expires_at);
CREATE TABLE shot_chunks (
  shot_id TEXT NOT NULL, seq INTEGER NOT NULL, bytes BYTEA NOT NULL, stored_at BIGINT NOT NULL,
  PRIMARY KEY (shot_id, seq));
ALTER TABLE shot_chunks ALTER COLUMN bytes SET STORAGE EXTERNAL;
CREATE TABLE sign_in_failures (
  name TEXT PRIMARY KEY, failures INTEGER NOT NULL, last_at BIGINT NOT NULL);
CREATE TABLE attempt_windows (
  kind TEXT NOT NULL, key TEXT NOT NULL, started_at BIGINT NOT NULL, attempts INTEGER NOT NULL,
  PRIMARY KEY (kind, key));
)sql";

// Step n takes a database from version n to n + 1.
constexpr const char* kSchemaSteps[] = {kSchemaVersion1};
static_assert(std::size(kSchemaSteps) == kSchemaVersion);

constexpr char kEndSessions[] = "DELETE FROM sessions WHERE user_id = $1 AND hash <> $2";

// After the shots, whose ids are returned; the user's row goes last.
constexpr const char* kRemoveUserRest[] = {
    "DELETE FROM link_codes WHERE user_id = $1", "DELETE FROM tokens WHERE user_id = $1",
    "DELETE FROM sessions WHERE user_id = $1",   "DELETE FROM daily_uploads WHERE user_id = $1",
    "DELETE FROM users WHERE id = $1",
};

// Instances that start together on an empty database take turns.
constexpr char kSchemaLock[] = "SELECT pg_advisory_xact_lock(7347012)";

User userFrom(const PgResult& rows, int row, int first) {
    return User{rows.integer(row, first), rows.text(row, first + 1), rows.boolean(row, first + 2)};
}

Shot shotFrom(const PgResult& rows, int row) {
    return Shot{rows.text(row, 0), rows.integer(row, 1), rows.integer(row, 2), rows.integer(row, 3),
                rows.integer(row, 4)};
}

// One upsert per attempt: the row lock orders attempts from all instances,
// and a window that has ended starts again at this attempt.
class SharedLimiter final : public AttemptLimiter {
public:
    SharedLimiter(PgPool& pool, std::string kind, int maxAttempts, std::int64_t windowSeconds)
        : pool_(pool), kind_(std::move(kind)), maxAttempts_(maxAttempts), windowSeconds_(windowSeconds) {}

    bool allow(const std::string& key, std::int64_t now) override {
        return pool_.lease()
                   ->run("INSERT INTO attempt_windows(kind, key, started_at, attempts) VALUES($1, $2, $3, 1) "
                         "ON CONFLICT (kind, key) DO UPDATE SET "
                         "  started_at = CASE WHEN $3 - attempt_windows.started_at >= $4 "
                         "    OR $3 < attempt_windows.started_at THEN $3 ELSE attempt_windows.started_at END, "
                         "  attempts = CASE WHEN $3 - attempt_windows.started_at >= $4 "
                         "    OR $3 < attempt_windows.started_at THEN 1 "
                         "    ELSE least(attempt_windows.attempts + 1, $5 + 1) END "
                         "RETURNING attempts",
                         kind_, key, now, windowSeconds_, maxAttempts_)
                   .integer(0, 0) <= maxAttempts_;
    }

    void forgetExpired(std::int64_t now) override {
        pool_.lease()->run("DELETE FROM attempt_windows WHERE kind = $1 AND started_at <= $2", kind_,
                           now - windowSeconds_);
    }

private:
    PgPool& pool_;
    const std::string kind_;
    const int maxAttempts_;
    const std::int64_t windowSeconds_;
};

// A try counts one up, or from one again once the last is old enough to be
// forgotten; the wait follows from the count as in memory. The name's row
// stays locked from the check to the count, so instances take turns; a name
// without a row has no wait, and the upsert counts its tries exactly.
class SharedSignInThrottle final : public FailedSignIns {
public:
    explicit SharedSignInThrottle(PgPool& pool) : pool_(pool) {}

    std::int64_t attempt(const std::string& name, std::int64_t now) override {
        auto connection = pool_.lease();
        PgTransaction transaction(*connection);
        const auto rows =
            connection->run("SELECT failures, last_at FROM sign_in_failures WHERE name = $1 FOR UPDATE", name);
        if (rows.rows() > 0) {
            const std::int64_t wait = rows.integer(0, 1) + signInWaitAfter(static_cast<int>(rows.integer(0, 0))) - now;
            if (wait > 0) return wait;
        }
        connection->run("INSERT INTO sign_in_failures(name, failures, last_at) VALUES($1, 1, $2) "
                        "ON CONFLICT (name) DO UPDATE SET failures = CASE WHEN $2 - sign_in_failures.last_at < $3 "
                        "  THEN sign_in_failures.failures + 1 ELSE 1 END, last_at = $2",
                        name, now, kFailureMemorySeconds);
        transaction.commit();
        return 0;
    }

    void succeeded(const std::string& name) override {
        pool_.lease()->run("DELETE FROM sign_in_failures WHERE name = $1", name);
    }

    void forgetExpired(std::int64_t now) override {
        pool_.lease()->run("DELETE FROM sign_in_failures WHERE last_at <= $1", now - kFailureMemorySeconds);
    }

private:
    PgPool& pool_;
};

std::optional<User> firstUser(const PgResult& rows) {
    if (rows.rows() == 0) return std::nullopt;
    return userFrom(rows, 0, 0);
}

}  // namespace

PostgresStore::PostgresStore(const std::string& url, int connections) : pool_(url, connections) {
    createSchema();
}

void PostgresStore::createSchema() {
    auto connection = pool_.lease();
    PgTransaction transaction(*connection);
    connection->exec(kSchemaLock);
    connection->exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    const int found =
        static_cast<int>(connection->run("SELECT coalesce(max(version), 0) FROM schema_version").integer(0, 0));
    requireKnownSchema(found);
    for (int version = found; version < kSchemaVersion; ++version) connection->exec(kSchemaSteps[version]);
    if (found < kSchemaVersion) {
        connection->exec("DELETE FROM schema_version");
        connection->run("INSERT INTO schema_version(version) VALUES($1)", kSchemaVersion);
    }
    transaction.commit();
}

std::int64_t PostgresStore::addUser(const std::string& name, bool pro, const std::string& salt,
                                    const std::string& hash, int iterations, std::int64_t now) {
    return pool_.lease()
        ->run("INSERT INTO users(name, pro, salt, password, iterations, created_at) VALUES($1, $2, $3, $4, $5, $6) "
              "RETURNING id",
              name, pro, Bytes{salt}, Bytes{hash}, iterations, now)
        .integer(0, 0);
}

std::optional<PasswordRecord> PostgresStore::passwordOf(const std::string& name) {
    const auto rows =
        pool_.lease()->run("SELECT id, name, pro, salt, password, iterations FROM users WHERE name = $1", name);
    if (rows.rows() == 0) return std::nullopt;
    return PasswordRecord{userFrom(rows, 0, 0), rows.bytes(0, 3), rows.bytes(0, 4),
                          static_cast<int>(rows.integer(0, 5))};
}

std::optional<User> PostgresStore::userByName(const std::string& name) {
    return firstUser(pool_.lease()->run("SELECT id, name, pro FROM users WHERE name = $1", name));
}

std::vector<UserSummary> PostgresStore::users(std::int64_t day) {
    const auto rows = pool_.lease()->run(
        "SELECT id, name, pro, created_at, (SELECT count(*) FROM tokens WHERE user_id = users.id), "
        "coalesce((SELECT count FROM daily_uploads WHERE user_id = users.id AND day = $1), 0), "
        "(SELECT count(*) FROM shots WHERE user_id = users.id) FROM users ORDER BY name",
        day);
    std::vector<UserSummary> found;
    for (int row = 0; row < rows.rows(); ++row)
        found.push_back({userFrom(rows, row, 0), rows.integer(row, 3), static_cast<int>(rows.integer(row, 4)),
                         static_cast<int>(rows.integer(row, 5)), static_cast<int>(rows.integer(row, 6))});
    return found;
}

bool PostgresStore::setPlan(std::int64_t userId, bool pro) {
    return pool_.lease()->run("UPDATE users SET pro = $1 WHERE id = $2", pro, userId).changed() > 0;
}

// The user's row is locked first, so an upload or a link of the user on
// another instance either ends before or fails after.
std::vector<std::string> PostgresStore::removeUser(std::int64_t userId) {
    auto connection = pool_.lease();
    PgTransaction transaction(*connection);
    connection->run("SELECT 1 FROM users WHERE id = $1 FOR UPDATE", userId);
    const auto rows = connection->run("DELETE FROM shots WHERE user_id = $1 RETURNING id", userId);
    for (const char* sql : kRemoveUserRest) connection->run(sql, userId);
    transaction.commit();
    std::vector<std::string> ids;
    for (int row = 0; row < rows.rows(); ++row) ids.push_back(rows.text(row, 0));
    return ids;
}

// The user's row is locked first, so two instances replacing the code at
// once take turns and leave one live code, and a password change (which
// updates that row) ends the session before the check or drops the code after.
bool PostgresStore::replaceLinkCode(std::int64_t userId, const std::string& codeHash, std::int64_t expiresAt,
                                    const std::string& sessionHash) {
    auto connection = pool_.lease();
    PgTransaction transaction(*connection);
    connection->run("SELECT 1 FROM users WHERE id = $1 FOR UPDATE", userId);
    if (!sessionHash.empty() &&
        connection->run("SELECT 1 FROM sessions WHERE hash = $1 AND user_id = $2", sessionHash, userId).rows() == 0)
        return false;
    connection->run("DELETE FROM link_codes WHERE user_id = $1", userId);
    connection->run("INSERT INTO link_codes(hash, user_id, expires_at) VALUES($1, $2, $3) ON CONFLICT (hash) "
                    "DO UPDATE SET user_id = excluded.user_id, expires_at = excluded.expires_at",
                    codeHash, userId, expiresAt);
    transaction.commit();
    return true;
}

// One statement: of several callers with the same code, one deletes the row
// and the others find nothing, so the code links at most one device.
std::optional<User> PostgresStore::redeemLinkCode(const std::string& codeHash, const std::string& tokenHash,
                                                  std::int64_t now) {
    return firstUser(pool_.lease()->run(
        "WITH used AS (DELETE FROM link_codes WHERE hash = $1 RETURNING user_id, expires_at), "
        "linked AS (INSERT INTO tokens(hash, user_id, linked_at, last_seen_at) "
        "  SELECT $2::text, user_id, $3::bigint, $3::bigint FROM used WHERE expires_at > $3::bigint RETURNING user_id) "
        "SELECT users.id, users.name, users.pro FROM linked JOIN users ON users.id = linked.user_id",
        codeHash, tokenHash, now));
}

// One round trip: the device's last-seen time moves, at most once a step,
// in the same statement that finds its user and the day's uploads.
std::optional<TokenUser> PostgresStore::userByToken(const std::string& tokenHash, std::int64_t now,
                                                    std::int64_t day) {
    const auto rows = pool_.lease()->run(
        "WITH seen AS (UPDATE tokens SET last_seen_at = $2 WHERE hash = $1 AND last_seen_at <= $2::bigint - $3::bigint) "
        "SELECT users.id, users.name, users.pro, "
        "  coalesce((SELECT count FROM daily_uploads WHERE user_id = users.id AND day = $4), 0) "
        "FROM tokens JOIN users ON users.id = tokens.user_id WHERE tokens.hash = $1",
        tokenHash, now, kLastSeenStep, day);
    if (rows.rows() == 0) return std::nullopt;
    return TokenUser{userFrom(rows, 0, 0), static_cast<int>(rows.integer(0, 3))};
}

std::vector<Device> PostgresStore::devicesOf(std::int64_t userId) {
    const auto rows =
        pool_.lease()->run("SELECT id, linked_at, last_seen_at FROM tokens WHERE user_id = $1 ORDER BY id", userId);
    std::vector<Device> devices;
    for (int row = 0; row < rows.rows(); ++row)
        devices.push_back({rows.integer(row, 0), rows.integer(row, 1), rows.integer(row, 2)});
    return devices;
}

bool PostgresStore::revokeDevice(std::int64_t userId, std::int64_t deviceId) {
    return pool_.lease()->run("DELETE FROM tokens WHERE id = $1 AND user_id = $2", deviceId, userId).changed() > 0;
}

int PostgresStore::uploadsOn(std::int64_t userId, std::int64_t day) {
    const auto rows =
        pool_.lease()->run("SELECT count FROM daily_uploads WHERE user_id = $1 AND day = $2", userId, day);
    return rows.rows() == 0 ? 0 : static_cast<int>(rows.integer(0, 0));
}

// The day's row is counted up only while under the limit; its row lock
// makes concurrent uploads of one user, from any instance, take turns.
bool PostgresStore::addShotWithinLimit(const Shot& shot, std::int64_t day, int limit) {
    if (limit <= 0) return false;
    return pool_.lease()
               ->run("WITH counted AS (INSERT INTO daily_uploads(user_id, day, count) VALUES($2, $6, 1) "
                     "  ON CONFLICT (user_id, day) DO UPDATE SET count = daily_uploads.count + 1 "
                     "  WHERE daily_uploads.count < $7 RETURNING 1) "
                     "INSERT INTO shots(id, user_id, created_at, expires_at, size) "
                     "SELECT $1::text, $2::bigint, $3::bigint, $4::bigint, $5::bigint FROM counted",
                     shot.id, shot.userId, shot.createdAt, shot.expiresAt, shot.size, day, limit)
               .changed() > 0;
}

std::optional<Shot> PostgresStore::shot(const std::string& id) {
    const auto rows =
        pool_.lease()->run("SELECT id, user_id, created_at, expires_at, size FROM shots WHERE id = $1", id);
    if (rows.rows() == 0) return std::nullopt;
    return shotFrom(rows, 0);
}

std::vector<Shot> PostgresStore::shotsOf(std::int64_t userId) {
    const auto rows = pool_.lease()->run("SELECT id, user_id, created_at, expires_at, size FROM shots "
                                         "WHERE user_id = $1 ORDER BY created_at DESC, id",
                                         userId);
    std::vector<Shot> shots;
    for (int row = 0; row < rows.rows(); ++row) shots.push_back(shotFrom(rows, row));
    return shots;
}

bool PostgresStore::deleteShot(std::int64_t userId, const std::string& id) {
    return pool_.lease()->run("DELETE FROM shots WHERE id = $1 AND user_id = $2", id, userId).changed() > 0;
}

// Rows another sweeper deletes first are skipped after its commit, so each
// expired shot is given to one caller.
std::vector<std::string> PostgresStore::takeExpiredShots(std::int64_t now) {
    const auto rows = pool_.lease()->run("DELETE FROM shots WHERE expires_at <= $1 RETURNING id", now);
    std::vector<std::string> ids;
    for (int row = 0; row < rows.rows(); ++row) ids.push_back(rows.text(row, 0));
    return ids;
}

bool PostgresStore::hasShot(const std::string& id) {
    return pool_.lease()->run("SELECT 1 FROM shots WHERE id = $1", id).rows() > 0;
}

ShotTotals PostgresStore::shotTotals() {
    const auto rows = pool_.lease()->run("SELECT count(*), coalesce(sum(size), 0) FROM shots");
    return ShotTotals{rows.integer(0, 0), rows.integer(0, 1)};
}

void PostgresStore::addNews(const std::string& title, const std::string& body, std::int64_t now) {
    pool_.lease()->run("INSERT INTO news(title, body, created_at) VALUES($1, $2, $3)", title, body, now);
}

std::vector<NewsItem> PostgresStore::latestNews(int count) {
    const auto rows = pool_.lease()->run(
        "SELECT title, body, id, created_at FROM news ORDER BY created_at DESC, id DESC LIMIT $1", count);
    std::vector<NewsItem> items;
    for (int row = 0; row < rows.rows(); ++row)
        items.push_back({rows.text(row, 0), rows.text(row, 1), rows.integer(row, 2), rows.integer(row, 3)});
    return items;
}

bool PostgresStore::removeNews(std::int64_t id) {
    return pool_.lease()->run("DELETE FROM news WHERE id = $1", id).changed() > 0;
}

// The user's row is read under a share lock: a password change under way
// is waited for, and its new password then fails the check.
bool PostgresStore::addSession(const std::string& sessionHash, std::int64_t userId, const std::string& formToken,
                               std::int64_t expiresAt, const std::string& passwordHash) {
    return pool_.lease()
               ->run("INSERT INTO sessions(hash, user_id, form_token, expires_at) "
                     "SELECT $1, id, $3, $4 FROM users WHERE id = $2 AND password = $5 FOR SHARE",
                     sessionHash, userId, formToken, expiresAt, Bytes{passwordHash})
               .changed() > 0;
}

std::optional<Session> PostgresStore::session(const std::string& sessionHash, std::int64_t now) {
    const auto rows = pool_.lease()->run(
        "SELECT users.id, users.name, users.pro, sessions.form_token FROM sessions "
        "JOIN users ON users.id = sessions.user_id WHERE sessions.hash = $1 AND sessions.expires_at > $2",
        sessionHash, now);
    if (rows.rows() == 0) return std::nullopt;
    return Session{userFrom(rows, 0, 0), rows.text(0, 3)};
}

void PostgresStore::deleteSession(const std::string& sessionHash) {
    pool_.lease()->run("DELETE FROM sessions WHERE hash = $1", sessionHash);
}

void PostgresStore::endSessions(std::int64_t userId, const std::string& keptSession) {
    pool_.lease()->run(kEndSessions, userId, keptSession);
}

void PostgresStore::setPassword(std::int64_t userId, const std::string& salt, const std::string& hash,
                                int iterations, const std::string& keptSession) {
    auto connection = pool_.lease();
    PgTransaction transaction(*connection);
    connection->run("UPDATE users SET salt = $1, password = $2, iterations = $3 WHERE id = $4", Bytes{salt},
                    Bytes{hash}, iterations, userId);
    connection->run(kEndSessions, userId, keptSession);
    connection->run("DELETE FROM link_codes WHERE user_id = $1", userId);
    transaction.commit();
}

void PostgresStore::forgetExpired(std::int64_t now) {
    auto connection = pool_.lease();
    connection->run("DELETE FROM link_codes WHERE expires_at <= $1", now);
    connection->run("DELETE FROM sessions WHERE expires_at <= $1", now);
}

std::unique_ptr<AttemptLimiter> PostgresStore::attemptLimiter(const std::string& kind, int maxAttempts,
                                                              std::int64_t windowSeconds) {
    return std::make_unique<SharedLimiter>(pool_, kind, maxAttempts, windowSeconds);
}

std::unique_ptr<FailedSignIns> PostgresStore::failedSignIns() {
    return std::make_unique<SharedSignInThrottle>(pool_);
}

std::unique_ptr<ShotStorage> PostgresStore::shotStorage(const std::filesystem::path& folder) {
    return std::make_unique<PostgresShots>(pool_, folder);
}

}  // namespace site
