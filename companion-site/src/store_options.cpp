#include "store_options.h"

#include <CLI/CLI.hpp>

#include <stdexcept>

#include "http_server.h"

namespace site {

void addStoreOptions(CLI::App& command, StoreOptions& options) {
    command.add_option("--data", options.data,
                       "the data folder: the SQLite file and the shots, or with --database the uploads in flight")
        ->type_name("DIR");
    command.add_option("--database", options.database,
                       "a PostgreSQL database in place of the SQLite file: postgresql://USER@HOST/DB as libpq takes it")
        ->type_name("URL");
    command.add_option("--database-connections", options.connections, "the most connections to the database at once")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
}

CLI::App& addStoreCommand(CLI::App& parent, const char* name, const char* about, StoreOptions& options,
                          std::function<void()> run) {
    CLI::App& command = *parent.add_subcommand(name, about);
    addStoreOptions(command, options);
    command.callback(std::move(run));
    return command;
}

StoreLocation storeLocation(const StoreOptions& options) {
    StoreLocation location;
    location.database = options.database;
    location.connections = options.connections;
    if (!location.database.empty()) {
        if (!isDatabaseUrl(location.database))
            throw std::runtime_error("--database takes a postgresql:// address such as postgresql://site@db.internal/site");
        return location;
    }
    if (options.data.empty()) throw std::runtime_error("--data is required");
    std::filesystem::create_directories(options.data);
    location.sqlitePath = databasePath(options.data).string();
    return location;
}

std::unique_ptr<Store> openStore(const StoreOptions& options) {
    return openStore(storeLocation(options));
}

std::unique_ptr<ShotStorage> openShotStorage(const StoreOptions& options, Store& store) {
    return store.shotStorage(options.data.empty() ? std::filesystem::temp_directory_path() : shotsFolder(options.data));
}

}  // namespace site
