#pragma once
// A store of either kind for tests that run the same body on both: empty at
// first, opened as often as a test likes, also several times at once, as
// several processes would.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "store.h"
#include "support/postgres_cluster.h"
#include "support/site_harness.h"

namespace site_test {

enum class StoreKind { Sqlite, Postgres };

inline void PrintTo(StoreKind kind, std::ostream* out) {
    *out << (kind == StoreKind::Sqlite ? "SQLite" : "PostgreSQL");
}

class TestStore {
public:
    explicit TestStore(StoreKind kind);

    std::unique_ptr<site::Store> open() const;
    // The program's data folder (with the SQLite file in it), and the
    // options that make the program use this store.
    std::filesystem::path dataFolder() const { return folder_.path() / "data"; }
    std::vector<std::string> programArguments() const;
    // Runs statements on the database behind the store's back.
    void execute(const std::string& sql) const;

private:
    StoreKind kind_;
    ScratchFolder folder_;
    std::unique_ptr<ScratchDatabase> database_;

    std::string sqlitePath() const;
};

}  // namespace site_test
