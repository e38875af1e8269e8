#include "cli/store_options.h"

#include <CLI/CLI.hpp>

#include <stdexcept>

#include "storage/postgres/postgres_store.h"
#include "storage/sqlite/sqlite_store.h"

namespace site {
namespace {

bool isDatabaseUrl(const std::string& text) {
    return text.starts_with("postgresql://") || text.starts_with("postgres://");
}

}  // namespace

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

std::filesystem::path databasePath(const std::filesystem::path& data) {
    return data / "site.db";
}

std::filesystem::path shotsFolder(const std::filesystem::path& data) {
    return data / "shots";
}

std::string sqlitePath(const StoreOptions& options) {
    if (options.data.empty()) throw std::runtime_error("--data is required");
    std::filesystem::create_directories(options.data);
    return databasePath(options.data).string();
}

std::unique_ptr<Store> openStore(const StoreOptions& options) {
    if (options.database.empty()) return std::make_unique<SqliteStore>(sqlitePath(options));
    if (!isDatabaseUrl(options.database))
        throw std::runtime_error("--database takes a postgresql:// address such as postgresql://site@db.internal/site");
    return std::make_unique<PostgresStore>(options.database, options.connections);
}

std::unique_ptr<ShotStorage> openShotStorage(const StoreOptions& options, Store& store) {
    return store.shotStorage(options.data.empty() ? std::filesystem::temp_directory_path() : shotsFolder(options.data));
}

}  // namespace site
