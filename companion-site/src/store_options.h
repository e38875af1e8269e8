#pragma once
// The options that name a command's store: the SQLite file in --data, or
// the PostgreSQL database in --database.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "open_store.h"
#include "storage/shot_storage.h"
#include "storage/store.h"

namespace CLI {
class App;
}

namespace site {

struct StoreOptions {
    std::filesystem::path data;
    std::string database;
    int connections = kDefaultDatabaseConnections;
};

// Adds --data, --database and --database-connections to `command`.
void addStoreOptions(CLI::App& command, StoreOptions& options);
// A subcommand of `parent` that names its store in `options`, run by `run`.
CLI::App& addStoreCommand(CLI::App& parent, const char* name, const char* about, StoreOptions& options,
                          std::function<void()> run);

StoreLocation storeLocation(const StoreOptions& options);
std::unique_ptr<Store> openStore(const StoreOptions& options);
// Where the store keeps shot bytes: the shot folder in --data, or the
// database.
std::unique_ptr<ShotStorage> openShotStorage(const StoreOptions& options, Store& store);

}  // namespace site
