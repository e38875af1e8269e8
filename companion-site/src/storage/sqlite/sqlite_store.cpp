#include "storage/sqlite/sqlite_store.h"

#include <iterator>
#include <stdexcept>

#include "observability/metrics.h"
#include "security/rate_limiter.h"
#include "security/sign_in_throttle.h"
#include "storage/schema_version.h"
#include "storage/shot_files.h"

namespace site {
namespace {

// Version 1 is also the shape of files made before versions were kept, so
// its tables are created only where missing.
constexpr char kSchemaVersion1[] = R"sql(
CREATE TABLE IF NOT EXISTS users (
  id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, pro INTEGER NOT NULL,
  salt BLOB NOT NULL, password BLOB NOT NULL, iterations INTEGER NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS link_codes (
  hash TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id), expires_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS tokens (
  id INTEGER PRIMARY KEY, hash TEXT NOT NULL UNIQUE, user_id INTEGER NOT NULL REFERENCES users(id),
  linked_at INTEGER NOT NULL, last_seen_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS shots (
  id TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id), created_at INTEGER NOT NULL,
  expires_at INTEGER NOT NULL, size INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS shots_by_user ON shots(user_id, created_at);
CREATE INDEX IF NOT EXISTS shots_by_expiry ON shots(expires_at);
CREATE TABLE IF NOT EXISTS daily_uploads (
  user_id INTEGER NOT NULL REFERENCES users(id), day INTEGER NOT NULL, count INTEGER NOT NULL,
  PRIMARY KEY (user_id, day));
CREATE TABLE IF NOT EXISTS news (
  id INTEGER PRIMARY KEY, title TEXT NOT NULL, body TEXT NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sessions (
  hash TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id), form_token TEXT NOT NULL,
  expires_at INTEGER NOT NULL);
)sql";

// Step n takes a database from version n to n + 1.
constexpr const char* kSchemaSteps[] = {kSchemaVersion1};
static_assert(std::size(kSchemaSteps) == kSchemaVersion);

constexpr char kEndSessions[] = "DELETE FROM sessions WHERE user_id = ? AND hash <> ?";

// The user's row goes last: every other row refers to it.
constexpr const char* kRemoveUser[] = {
    "DELETE FROM shots WHERE user_id = ?",   "DELETE FROM link_codes WHERE user_id = ?",
    "DELETE FROM tokens WHERE user_id = ?",  "DELETE FROM sessions WHERE user_id = ?",
    "DELETE FROM daily_uploads WHERE user_id = ?", "DELETE FROM users WHERE id = ?",
};

// The store's lock for one operation, timed from the wait for it.
class Held {
public:
    Held(std::mutex& mutex, Histogram* timing) : timer_(timing), lock_(mutex) {}

private:
    OperationTimer timer_;
    std::lock_guard<std::mutex> lock_;
};

// A read on a thread that must never wait: it fails at once where another
// process holds the file.
class FailWhenBusy {
public:
    explicit FailWhenBusy(Connection& connection) : connection_(connection) { connection_.waitWhenBusy(false); }
    ~FailWhenBusy() { connection_.waitWhenBusy(true); }

private:
    Connection& connection_;
};

bool lastSeenDue(std::int64_t lastSeenAt, std::int64_t now) {
    return now - lastSeenAt >= kLastSeenStep;
}

// Resets a statement when its use ends, so no read stays open.
class ResetOnExit {
public:
    explicit ResetOnExit(Statement& statement) : statement_(statement) {}
    ~ResetOnExit() { statement_.start(); }

private:
    Statement& statement_;
};

class Transaction {
public:
    explicit Transaction(Connection& connection) : connection_(connection) { connection_.exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!committed_) {
            try {
                connection_.exec("ROLLBACK");
            } catch (const std::exception&) {
                // Already rolled back by SQLite itself.
            }
        }
    }
    void commit() {
        connection_.exec("COMMIT");
        committed_ = true;
    }

private:
    Connection& connection_;
    bool committed_ = false;
};

User userFrom(const Statement& row, int first) {
    return User{row.integer(first), row.text(first + 1), row.integer(first + 2) != 0};
}

Shot shotFrom(const Statement& row) {
    return Shot{row.text(0), row.integer(1), row.integer(2), row.integer(3), row.integer(4)};
}

}  // namespace

SqliteStore::SqliteStore(const std::string& path) : connection_(path) {
    connection_.exec("PRAGMA journal_mode=WAL");
    // Every commit reaches the disk before the answer that depends on it.
    connection_.exec("PRAGMA synchronous=FULL");
    connection_.exec("PRAGMA foreign_keys=ON");
    createSchema();
}

Statement& SqliteStore::statement(const char* sql) {
    auto& slot = statements_[sql];
    if (!slot) slot = std::make_unique<Statement>(connection_.raw(), sql);
    return slot->start();
}

template <typename Use>
auto SqliteStore::query(const char* sql, Use use) {
    Statement& s = statement(sql);
    ResetOnExit reset(s);
    return use(s);
}

void SqliteStore::createSchema() {
    Transaction transaction(connection_);
    connection_.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    const int found = query("SELECT coalesce(max(version), 0) FROM schema_version",
                            [](Statement& s) { return s.step() ? static_cast<int>(s.integer(0)) : 0; });
    requireKnownSchema(found);
    for (int version = found; version < kSchemaVersion; ++version) connection_.exec(kSchemaSteps[version]);
    if (found < kSchemaVersion) {
        connection_.exec("DELETE FROM schema_version");
        query("INSERT INTO schema_version(version) VALUES(?)",
              [](Statement& s) { s.bind(1, std::int64_t{kSchemaVersion}).run(); });
    }
    transaction.commit();
}

std::vector<std::string> SqliteStore::texts(const char* sql, std::int64_t parameter) {
    return query(sql, [&](Statement& s) {
        std::vector<std::string> found;
        s.bind(1, parameter);
        while (s.step()) found.push_back(s.text(0));
        return found;
    });
}

std::int64_t SqliteStore::addUser(const std::string& name, bool pro, const std::string& salt,
                                  const std::string& hash, int iterations, std::int64_t now) {
    const Held held(mutex_, timing_);
    query("INSERT INTO users(name, pro, salt, password, iterations, created_at) VALUES(?, ?, ?, ?, ?, ?)",
          [&](Statement& s) {
              s.bind(1, name).bind(2, std::int64_t{pro}).bindBlob(3, salt).bindBlob(4, hash);
              s.bind(5, std::int64_t{iterations}).bind(6, now).run();
          });
    return sqlite3_last_insert_rowid(connection_.raw());
}

std::optional<PasswordRecord> SqliteStore::passwordOf(const std::string& name) {
    const Held held(mutex_, timing_);
    return query("SELECT id, name, pro, salt, password, iterations FROM users WHERE name = ?",
                 [&](Statement& s) -> std::optional<PasswordRecord> {
                     if (!s.bind(1, name).step()) return std::nullopt;
                     return PasswordRecord{userFrom(s, 0), s.blob(3), s.blob(4), static_cast<int>(s.integer(5))};
                 });
}

std::optional<User> SqliteStore::userByName(const std::string& name) {
    const Held held(mutex_, timing_);
    return query("SELECT id, name, pro FROM users WHERE name = ?", [&](Statement& s) -> std::optional<User> {
        if (!s.bind(1, name).step()) return std::nullopt;
        return userFrom(s, 0);
    });
}

std::vector<UserSummary> SqliteStore::users(std::int64_t day) {
    const Held held(mutex_, timing_);
    return query("SELECT id, name, pro, created_at, (SELECT count(*) FROM tokens WHERE user_id = users.id), "
                 "coalesce((SELECT count FROM daily_uploads WHERE user_id = users.id AND day = ?), 0), "
                 "(SELECT count(*) FROM shots WHERE user_id = users.id) FROM users ORDER BY name",
                 [&](Statement& s) {
                     std::vector<UserSummary> found;
                     s.bind(1, day);
                     while (s.step())
                         found.push_back({userFrom(s, 0), s.integer(3), static_cast<int>(s.integer(4)),
                                          static_cast<int>(s.integer(5)), static_cast<int>(s.integer(6))});
                     return found;
                 });
}

bool SqliteStore::setPlan(std::int64_t userId, bool pro) {
    const Held held(mutex_, timing_);
    query("UPDATE users SET pro = ? WHERE id = ?",
          [&](Statement& s) { s.bind(1, std::int64_t{pro}).bind(2, userId).run(); });
    return connection_.changes() > 0;
}

std::vector<std::string> SqliteStore::removeUser(std::int64_t userId) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    auto ids = texts("SELECT id FROM shots WHERE user_id = ?", userId);
    for (const char* sql : kRemoveUser) query(sql, [&](Statement& s) { s.bind(1, userId).run(); });
    transaction.commit();
    return ids;
}

bool SqliteStore::replaceLinkCode(std::int64_t userId, const std::string& codeHash, std::int64_t expiresAt,
                                  const std::string& sessionHash) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    if (!sessionHash.empty() && !query("SELECT 1 FROM sessions WHERE hash = ? AND user_id = ?", [&](Statement& s) {
            return s.bind(1, sessionHash).bind(2, userId).step();
        }))
        return false;
    query("DELETE FROM link_codes WHERE user_id = ?", [&](Statement& s) { s.bind(1, userId).run(); });
    query("INSERT OR REPLACE INTO link_codes(hash, user_id, expires_at) VALUES(?, ?, ?)",
          [&](Statement& s) { s.bind(1, codeHash).bind(2, userId).bind(3, expiresAt).run(); });
    transaction.commit();
    return true;
}

std::optional<User> SqliteStore::redeemLinkCode(const std::string& codeHash, const std::string& tokenHash,
                                                std::int64_t now) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    auto owner = query("SELECT users.id, users.name, users.pro, link_codes.expires_at FROM link_codes "
                       "JOIN users ON users.id = link_codes.user_id WHERE link_codes.hash = ?",
                       [&](Statement& s) -> std::optional<std::pair<User, std::int64_t>> {
                           if (!s.bind(1, codeHash).step()) return std::nullopt;
                           return std::pair{userFrom(s, 0), s.integer(3)};
                       });
    if (!owner) return std::nullopt;
    query("DELETE FROM link_codes WHERE hash = ?", [&](Statement& s) { s.bind(1, codeHash).run(); });
    if (owner->second <= now) {
        transaction.commit();
        return std::nullopt;
    }
    query("INSERT INTO tokens(hash, user_id, linked_at, last_seen_at) VALUES(?, ?, ?, ?)",
          [&](Statement& s) { s.bind(1, tokenHash).bind(2, owner->first.id).bind(3, now).bind(4, now).run(); });
    transaction.commit();
    return owner->first;
}

std::optional<SqliteStore::TokenRow> SqliteStore::tokenRow(const std::string& tokenHash, std::int64_t day) {
    return query("SELECT users.id, users.name, users.pro, tokens.id, tokens.last_seen_at, "
                 "coalesce((SELECT count FROM daily_uploads WHERE user_id = users.id AND day = ?), 0) "
                 "FROM tokens JOIN users ON users.id = tokens.user_id WHERE tokens.hash = ?",
                 [&](Statement& s) -> std::optional<TokenRow> {
                     if (!s.bind(1, day).bind(2, tokenHash).step()) return std::nullopt;
                     return TokenRow{{userFrom(s, 0), static_cast<int>(s.integer(5))}, s.integer(3), s.integer(4)};
                 });
}

std::optional<TokenUser> SqliteStore::userByToken(const std::string& tokenHash, std::int64_t now, std::int64_t day) {
    const Held held(mutex_, timing_);
    const auto row = tokenRow(tokenHash, day);
    if (!row) return std::nullopt;
    if (lastSeenDue(row->lastSeenAt, now)) {
        query("UPDATE tokens SET last_seen_at = ? WHERE id = ?",
              [&](Statement& s) { s.bind(1, now).bind(2, row->id).run(); });
    }
    return row->found;
}

std::optional<TokenUser> SqliteStore::userByTokenAtOnce(const std::string& tokenHash, std::int64_t now,
                                                        std::int64_t day) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock) throw WouldWait("the store is in use");
    const OperationTimer timer(timing_);
    const FailWhenBusy failWhenBusy(connection_);
    const auto row = tokenRow(tokenHash, day);
    if (!row) return std::nullopt;
    if (lastSeenDue(row->lastSeenAt, now)) throw WouldWait("the device's last-seen time is due");
    return row->found;
}

std::vector<Device> SqliteStore::devicesOf(std::int64_t userId) {
    const Held held(mutex_, timing_);
    return query("SELECT id, linked_at, last_seen_at FROM tokens WHERE user_id = ? ORDER BY id",
                 [&](Statement& s) {
                     std::vector<Device> devices;
                     s.bind(1, userId);
                     while (s.step()) devices.push_back({s.integer(0), s.integer(1), s.integer(2)});
                     return devices;
                 });
}

bool SqliteStore::revokeDevice(std::int64_t userId, std::int64_t deviceId) {
    const Held held(mutex_, timing_);
    query("DELETE FROM tokens WHERE id = ? AND user_id = ?", [&](Statement& s) { s.bind(1, deviceId).bind(2, userId).run(); });
    return connection_.changes() > 0;
}

int SqliteStore::uploadsOn(std::int64_t userId, std::int64_t day) {
    const Held held(mutex_, timing_);
    return query("SELECT count FROM daily_uploads WHERE user_id = ? AND day = ?", [&](Statement& s) {
        return s.bind(1, userId).bind(2, day).step() ? static_cast<int>(s.integer(0)) : 0;
    });
}

bool SqliteStore::addShotWithinLimit(const Shot& shot, std::int64_t day, int limit) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    const int used = query("SELECT count FROM daily_uploads WHERE user_id = ? AND day = ?", [&](Statement& s) {
        return s.bind(1, shot.userId).bind(2, day).step() ? static_cast<int>(s.integer(0)) : 0;
    });
    if (used >= limit) return false;
    query("INSERT INTO shots(id, user_id, created_at, expires_at, size) VALUES(?, ?, ?, ?, ?)", [&](Statement& s) {
        s.bind(1, shot.id).bind(2, shot.userId).bind(3, shot.createdAt).bind(4, shot.expiresAt).bind(5, shot.size).run();
    });
    query("INSERT INTO daily_uploads(user_id, day, count) VALUES(?, ?, 1) "
          "ON CONFLICT(user_id, day) DO UPDATE SET count = count + 1",
          [&](Statement& s) { s.bind(1, shot.userId).bind(2, day).run(); });
    transaction.commit();
    return true;
}

std::optional<Shot> SqliteStore::shot(const std::string& id) {
    const Held held(mutex_, timing_);
    return query("SELECT id, user_id, created_at, expires_at, size FROM shots WHERE id = ?",
                 [&](Statement& s) -> std::optional<Shot> {
                     if (!s.bind(1, id).step()) return std::nullopt;
                     return shotFrom(s);
                 });
}

std::vector<Shot> SqliteStore::shotsOf(std::int64_t userId) {
    const Held held(mutex_, timing_);
    return query("SELECT id, user_id, created_at, expires_at, size FROM shots WHERE user_id = ? "
                 "ORDER BY created_at DESC, id",
                 [&](Statement& s) {
                     std::vector<Shot> shots;
                     s.bind(1, userId);
                     while (s.step()) shots.push_back(shotFrom(s));
                     return shots;
                 });
}

bool SqliteStore::deleteShot(std::int64_t userId, const std::string& id) {
    const Held held(mutex_, timing_);
    query("DELETE FROM shots WHERE id = ? AND user_id = ?", [&](Statement& s) { s.bind(1, id).bind(2, userId).run(); });
    return connection_.changes() > 0;
}

std::vector<std::string> SqliteStore::takeExpiredShots(std::int64_t now) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    auto ids = texts("SELECT id FROM shots WHERE expires_at <= ?", now);
    query("DELETE FROM shots WHERE expires_at <= ?", [&](Statement& s) { s.bind(1, now).run(); });
    transaction.commit();
    return ids;
}

bool SqliteStore::hasShot(const std::string& id) {
    const Held held(mutex_, timing_);
    return query("SELECT 1 FROM shots WHERE id = ?", [&](Statement& s) { return s.bind(1, id).step(); });
}

ShotTotals SqliteStore::shotTotals() {
    const Held held(mutex_, timing_);
    return query("SELECT count(*), coalesce(sum(size), 0) FROM shots", [](Statement& s) {
        s.step();
        return ShotTotals{s.integer(0), s.integer(1)};
    });
}

void SqliteStore::addNews(const std::string& title, const std::string& body, std::int64_t now) {
    const Held held(mutex_, timing_);
    query("INSERT INTO news(title, body, created_at) VALUES(?, ?, ?)",
          [&](Statement& s) { s.bind(1, title).bind(2, body).bind(3, now).run(); });
}

std::vector<NewsItem> SqliteStore::latestNews(int count) {
    const Held held(mutex_, timing_);
    return query("SELECT title, body, id, created_at FROM news ORDER BY created_at DESC, id DESC LIMIT ?",
                 [&](Statement& s) {
                     std::vector<NewsItem> items;
                     s.bind(1, std::int64_t{count});
                     while (s.step()) items.push_back({s.text(0), s.text(1), s.integer(2), s.integer(3)});
                     return items;
                 });
}

bool SqliteStore::removeNews(std::int64_t id) {
    const Held held(mutex_, timing_);
    query("DELETE FROM news WHERE id = ?", [&](Statement& s) { s.bind(1, id).run(); });
    return connection_.changes() > 0;
}

bool SqliteStore::addSession(const std::string& sessionHash, std::int64_t userId, const std::string& formToken,
                             std::int64_t expiresAt, const std::string& passwordHash) {
    const Held held(mutex_, timing_);
    query("INSERT INTO sessions(hash, user_id, form_token, expires_at) "
          "SELECT ?, id, ?, ? FROM users WHERE id = ? AND password = ?",
          [&](Statement& s) {
              s.bind(1, sessionHash).bind(2, formToken).bind(3, expiresAt).bind(4, userId);
              s.bindBlob(5, passwordHash).run();
          });
    return connection_.changes() > 0;
}

std::optional<Session> SqliteStore::session(const std::string& sessionHash, std::int64_t now) {
    const Held held(mutex_, timing_);
    return query("SELECT users.id, users.name, users.pro, sessions.form_token FROM sessions "
                 "JOIN users ON users.id = sessions.user_id WHERE sessions.hash = ? AND sessions.expires_at > ?",
                 [&](Statement& s) -> std::optional<Session> {
                     if (!s.bind(1, sessionHash).bind(2, now).step()) return std::nullopt;
                     return Session{userFrom(s, 0), s.text(3)};
                 });
}

void SqliteStore::deleteSession(const std::string& sessionHash) {
    const Held held(mutex_, timing_);
    query("DELETE FROM sessions WHERE hash = ?", [&](Statement& s) { s.bind(1, sessionHash).run(); });
}

void SqliteStore::endSessions(std::int64_t userId, const std::string& keptSession) {
    const Held held(mutex_, timing_);
    query(kEndSessions, [&](Statement& s) { s.bind(1, userId).bind(2, keptSession).run(); });
}

void SqliteStore::setPassword(std::int64_t userId, const std::string& salt, const std::string& hash, int iterations,
                              const std::string& keptSession) {
    const Held held(mutex_, timing_);
    Transaction transaction(connection_);
    query("UPDATE users SET salt = ?, password = ?, iterations = ? WHERE id = ?", [&](Statement& s) {
        s.bindBlob(1, salt).bindBlob(2, hash).bind(3, std::int64_t{iterations}).bind(4, userId).run();
    });
    query(kEndSessions, [&](Statement& s) { s.bind(1, userId).bind(2, keptSession).run(); });
    query("DELETE FROM link_codes WHERE user_id = ?", [&](Statement& s) { s.bind(1, userId).run(); });
    transaction.commit();
}

void SqliteStore::forgetExpired(std::int64_t now) {
    const Held held(mutex_, timing_);
    query("DELETE FROM link_codes WHERE expires_at <= ?", [&](Statement& s) { s.bind(1, now).run(); });
    query("DELETE FROM sessions WHERE expires_at <= ?", [&](Statement& s) { s.bind(1, now).run(); });
}

std::unique_ptr<AttemptLimiter> SqliteStore::attemptLimiter(const std::string&, int maxAttempts,
                                                            std::int64_t windowSeconds) {
    return std::make_unique<RateLimiter>(maxAttempts, windowSeconds);
}

std::unique_ptr<FailedSignIns> SqliteStore::failedSignIns() {
    return std::make_unique<SignInThrottle>();
}

std::unique_ptr<ShotStorage> SqliteStore::shotStorage(const std::filesystem::path& folder) {
    return std::make_unique<ShotFiles>(folder, true);
}

void SqliteStore::backupTo(const std::string& path) {
    const Held held(mutex_, timing_);
    Connection target(path);
    sqlite3_backup* backup = sqlite3_backup_init(target.raw(), "main", connection_.raw(), "main");
    if (!backup) throwSqliteError(target.raw(), "backup");
    const int stepped = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE) throwSqliteError(target.raw(), "backup");
}

}  // namespace site
