// backup: a copy of the SQLite store made with SQLite's own backup, safe
// while the server runs.

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/store_options.h"
#include "storage/sqlite/sqlite_store.h"

namespace site {
namespace {

struct BackupArguments {
    StoreOptions store;
    std::string file;
};

void backUp(const BackupArguments& given, Console& console) {
    if (!given.store.database.empty())
        throw std::runtime_error("a PostgreSQL store is backed up with pg_dump (see the operator guide)");
    SqliteStore store(sqlitePath(given.store));
    store.backupTo(given.file);
    console.out << "backed up to " << given.file << '\n';
}

}  // namespace

void addBackupCommand(CLI::App& program, Console& console) {
    const auto given = std::make_shared<BackupArguments>();
    addCommand(program, "backup", "Copies the SQLite store to a file", given, console, backUp)
        .add_option("FILE", given->file, "the copy")
        ->required();
}

}  // namespace site
