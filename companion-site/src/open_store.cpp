#include "open_store.h"

#include "storage/postgres/postgres_store.h"
#include "storage/sqlite/sqlite_store.h"

namespace site {

bool isDatabaseUrl(const std::string& text) {
    return text.starts_with("postgresql://") || text.starts_with("postgres://");
}

std::unique_ptr<Store> openStore(const StoreLocation& location) {
    if (location.database.empty()) return std::make_unique<SqliteStore>(location.sqlitePath);
    return std::make_unique<PostgresStore>(location.database, location.connections);
}

}  // namespace site
