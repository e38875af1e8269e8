#pragma once
// A store of either kind for tests that run the same body on both: empty at
// first, opened as often as a test likes, also several times at once, as
// several processes would.

#include <ctime>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "security/link_code.h"
#include "storage/postgres/postgres_store.h"
#include "support/postgres_cluster.h"
#include "support/site_harness.h"
#include "web/accounts.h"

namespace site_test {

enum class StoreKind { Sqlite, Postgres };

inline void PrintTo(StoreKind kind, std::ostream* out) {
    *out << (kind == StoreKind::Sqlite ? "SQLite" : "PostgreSQL");
}

class TestStore {
public:
    // A PostgreSQL store is a database in `cluster`, by default the test run's.
    explicit TestStore(StoreKind kind, const std::filesystem::path& cluster = {})
        : database_(kind == StoreKind::Postgres
                        ? std::make_unique<ScratchDatabase>(cluster.empty() ? testCluster() : cluster)
                        : nullptr) {
        if (!database_) std::filesystem::create_directories(dataFolder());
    }

    std::unique_ptr<site::Store> open() const {
        if (database_) return std::make_unique<site::PostgresStore>(database_->url(), 4);
        return std::make_unique<site::SqliteStore>(sqlitePath());
    }
    // The program's data folder (with the SQLite file in it), and the
    // options that make the program use this store.
    std::filesystem::path dataFolder() const { return folder_.path() / "data"; }
    std::vector<std::string> programArguments() const {
        if (database_) return {"--database", database_->url()};
        return {"--data", dataFolder().string()};
    }
    const std::string& databaseUrl() const { return database_->url(); }
    // Runs statements on the database behind the store's back.
    void execute(const std::string& sql) const {
        if (database_) return database_->execute(sql);
        site::Connection(sqlitePath()).exec(sql.c_str());
    }
    // A user as `user add` makes one, with a cheaper hash.
    void addUser(const std::string& name, const std::string& password, bool pro = false) const {
        site::createUser(*open(), name, password, pro, std::time(nullptr), kTestIterations);
    }
    // A new link code of the user's, as `code` prints it.
    std::string linkCode(const std::string& name) const {
        const auto store = open();
        return site::formatLinkCode(site::issueLinkCode(*store, store->userByName(name)->id, std::time(nullptr)));
    }

private:
    ScratchFolder folder_;
    std::unique_ptr<ScratchDatabase> database_;

    std::string sqlitePath() const { return (dataFolder() / "site.db").string(); }
};

}  // namespace site_test
