#include "support/test_store.h"

#include "postgres_store.h"
#include "sqlite_store.h"

namespace site_test {
namespace {

constexpr int kConnections = 4;

}  // namespace

TestStore::TestStore(StoreKind kind)
    : kind_(kind), database_(kind == StoreKind::Postgres ? std::make_unique<ScratchDatabase>() : nullptr) {
    if (!database_) std::filesystem::create_directories(dataFolder());
}

std::string TestStore::sqlitePath() const {
    return (dataFolder() / "site.db").string();
}

std::vector<std::string> TestStore::programArguments() const {
    if (database_) return {"--database", database_->url()};
    return {"--data", dataFolder().string()};
}

std::unique_ptr<site::Store> TestStore::open() const {
    if (database_) return std::make_unique<site::PostgresStore>(database_->url(), kConnections);
    return std::make_unique<site::SqliteStore>(sqlitePath());
}

void TestStore::execute(const std::string& sql) const {
    if (database_) return database_->execute(sql);
    site::Connection(sqlitePath()).exec(sql.c_str());
}

}  // namespace site_test
