#pragma once
// Which store a command uses, and opening it: the SQLite file in --data,
// or the PostgreSQL database in --database.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "storage/shot_storage.h"
#include "storage/store.h"

namespace CLI {
class App;
}

namespace site {

struct StoreOptions {
    std::filesystem::path data;
    std::string database;  // postgresql://... or postgres://...
    int connections = 8;
};

// Adds --data, --database and --database-connections to `command`.
void addStoreOptions(CLI::App& command, StoreOptions& options);
// A subcommand of `parent` that names its store in `options`, run by `run`.
CLI::App& addStoreCommand(CLI::App& parent, const char* name, const char* about, StoreOptions& options,
                          std::function<void()> run);

// The layout of the data folder.
std::filesystem::path databasePath(const std::filesystem::path& data);
std::filesystem::path shotsFolder(const std::filesystem::path& data);

// The SQLite file in --data, which is created when missing.
std::string sqlitePath(const StoreOptions& options);
// Opens the store and creates or upgrades its tables; throws a
// plain-English error when it cannot.
std::unique_ptr<Store> openStore(const StoreOptions& options);
// Where the store keeps shot bytes: the shot folder in --data, or the
// database.
std::unique_ptr<ShotStorage> openShotStorage(const StoreOptions& options, Store& store);

}  // namespace site
