#pragma once
// Owners of an SQLite connection and its prepared statements.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace site {

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Resets the statement and its bindings for a new run.
    Statement& start();
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::string_view bytes);
    // True while a row is ready; false when done. Throws on errors.
    bool step();
    // Runs the statement to the end.
    void run();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    std::string blob(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

class Connection {
public:
    static constexpr int kBusyWaitMilliseconds = 10000;

    explicit Connection(const std::string& path);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    void exec(const char* sql);
    int changes() const;
    // Whether a statement that finds the file locked by another process
    // waits for it (up to kBusyWaitMilliseconds) or fails at once.
    void waitWhenBusy(bool wait);
    sqlite3* raw() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

[[noreturn]] void throwSqliteError(sqlite3* db, const char* what);

}  // namespace site
