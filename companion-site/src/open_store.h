#pragma once
// Which store a command uses: the SQLite file, or PostgreSQL when a
// database address is given.

#include <memory>
#include <string>

#include "storage/store.h"

namespace site {

inline constexpr int kDefaultDatabaseConnections = 8;

struct StoreLocation {
    std::string sqlitePath;  // used when `database` is empty
    std::string database;    // postgresql://... or postgres://...
    int connections = kDefaultDatabaseConnections;
};

bool isDatabaseUrl(const std::string& text);

// Opens the store and creates or upgrades its tables; throws a plain-English
// error when it cannot.
std::unique_ptr<Store> openStore(const StoreLocation& location);

}  // namespace site
