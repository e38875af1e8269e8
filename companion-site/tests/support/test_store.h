#pragma once
// Stores for tests and benchmarks. Throw-away PostgreSQL clusters: initdb
// into a folder, the server started with pg_ctl on a socket in that folder
// (no TCP port), run as the unprivileged `postgres` user when run as root,
// never a system service. And a store of either kind for tests that run the
// same body on both: empty at first, opened as often as a test likes, also
// several times at once, as several processes would.

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "storage/postgres/postgres_handles.h"
#include "storage/postgres/postgres_store.h"
#include "support/child_process.h"
#include "support/site_harness.h"
#include "web/accounts.h"

namespace site_test {

// PostgreSQL refuses to run as root, so root hands the cluster to `postgres`.
inline const passwd* clusterUser() {
    if (::geteuid() != 0) return nullptr;
    const passwd* user = ::getpwnam("postgres");
    if (!user) throw std::runtime_error("as root, the test cluster needs the postgres user (Debian's postgresql)");
    return user;
}

// Runs one of PostgreSQL's programs as the cluster's user.
inline void runTool(const char* tool, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), std::string(CLIPVANE_POSTGRES_BIN) + "/" + tool);
    const auto run = runProgram(arguments, "", clusterUser());
    if (run.exitCode != 0) throw std::runtime_error(std::string(tool) + " failed:\n" + run.output);
}

// The address of `database` in the cluster, as libpq takes it.
inline std::string clusterUrl(const std::filesystem::path& folder, const std::string& database) {
    return "postgresql://postgres@/" + database + "?host=" + folder.string();
}

inline void restartCluster(const std::filesystem::path& folder) {
    runTool("pg_ctl", {"-D", folder / "data", "-l", folder / "server.log", "-w", "-t", "60", "start"});
}
inline void stopCluster(const std::filesystem::path& folder) {
    runTool("pg_ctl", {"-D", folder / "data", "-w", "-t", "60", "-m", "fast", "stop"});
}

// `durable`: fsync as in production (for figures); without it, commits are
// only as safe as the page cache, which a test that kills the site never
// notices, and the tests run faster.
inline void startCluster(const std::filesystem::path& folder, bool durable = false) {
    const auto user = clusterUser();
    std::filesystem::create_directories(folder);
    if (user && ::chown(folder.c_str(), user->pw_uid, user->pw_gid) != 0) throw std::runtime_error("chown " + folder.string());
    runTool("initdb", {"-D", folder / "data", "-U", "postgres", "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"});
    std::ofstream settings(folder / "data" / "postgresql.conf", std::ios::app);
    settings << "listen_addresses = ''\nunix_socket_directories = '" << folder.string() << "'\n";
    if (!durable) settings << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
    settings.close();
    restartCluster(folder);
}

// The cluster's server and every process it started stopped (SIGSTOP) for
// the holder's lifetime, then continued: a host that freezes without
// closing its connections.
class FrozenCluster {
public:
    // The server first, so it starts nothing new meanwhile.
    explicit FrozenCluster(const std::filesystem::path& folder) : folder_(folder) { signalAll(SIGSTOP); }
    FrozenCluster(const FrozenCluster&) = delete;
    FrozenCluster& operator=(const FrozenCluster&) = delete;
    ~FrozenCluster() { signalAll(SIGCONT); }

private:
    std::filesystem::path folder_;

    // To the server, then to each process whose parent it is (in /proc's
    // stat, the state and the parent's id follow "pid (name)").
    void signalAll(int number) const {
        pid_t server = 0;
        std::ifstream(folder_ / "data" / "postmaster.pid") >> server;
        if (server <= 0) throw std::runtime_error("no running server in " + folder_.string());
        ::kill(server, number);
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream stat(entry.path() / "stat");
            std::string line;
            if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
            std::istringstream rest(line.substr(line.rfind(')') + 1));
            char state = 0;
            pid_t parent = 0;
            if (rest >> state >> parent && parent == server) ::kill(std::stoi(entry.path().filename()), number);
        }
    }
};

// Stops the server unless it has ended (by a test, or with an interrupted run), then removes the folder.
inline void removeCluster(const std::filesystem::path& folder) {
    try {
        stopCluster(folder);
    } catch (const std::exception&) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// A cluster of its own in a new temporary folder, stopped and removed at
// the end.
class OwnCluster {
public:
    explicit OwnCluster(bool durable = false)
        : folder_(std::filesystem::temp_directory_path() / ("clipvane-pg-" + site::toHex(site::randomBytes(6)))) {
        startCluster(folder_, durable);
    }
    OwnCluster(const OwnCluster&) = delete;
    OwnCluster& operator=(const OwnCluster&) = delete;
    ~OwnCluster() { removeCluster(folder_); }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// The cluster of this test run: the one CTest started for all test programs
// (CLIPVANE_TEST_POSTGRES names its folder), or else one started for this
// program alone.
inline const std::filesystem::path& testCluster() {
    static const char* const shared = std::getenv("CLIPVANE_TEST_POSTGRES");
    if (shared && *shared) {
        static const std::filesystem::path folder(shared);
        return folder;
    }
    static const OwnCluster own;
    return own.folder();
}

// A fresh, empty database in a cluster, dropped at the end.
class ScratchDatabase {
public:
    explicit ScratchDatabase(const std::filesystem::path& cluster)
        : cluster_(cluster), name_("test_" + site::toHex(site::randomBytes(8))), url_(clusterUrl(cluster, name_)) {
        site::PgConnection(clusterUrl(cluster_, "postgres")).exec(("CREATE DATABASE " + name_).c_str());
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    ~ScratchDatabase() {
        try {
            site::PgConnection(clusterUrl(cluster_, "postgres")).exec(("DROP DATABASE " + name_ + " WITH (FORCE)").c_str());
        } catch (const std::exception&) {
            // The cluster is gone with it.
        }
    }

    const std::string& url() const { return url_; }
    // Runs statements as the cluster's superuser, outside the site's code.
    void execute(const std::string& sql) const { site::PgConnection(url_).exec(sql.c_str()); }

private:
    std::filesystem::path cluster_;
    std::string name_;
    std::string url_;
};

// Until a session of the database at `url` waits for a lock; false after
// five seconds. Asked on a connection of its own: within a transaction the
// activity view keeps its first answer.
inline bool someoneWaitsForALock(const std::string& url) {
    site::PgConnection watcher(url);
    for (int tries = 0; tries < 500; ++tries) {
        if (watcher.run("SELECT 1 FROM pg_stat_activity WHERE datname = current_database() AND wait_event_type = "
                        "'Lock'").rows() > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

enum class StoreKind { Sqlite, Postgres };

inline void PrintTo(StoreKind kind, std::ostream* out) { *out << (kind == StoreKind::Sqlite ? "SQLite" : "PostgreSQL"); }

class TestStore {
public:
    // A PostgreSQL store is a database in `cluster`, by default the test run's.
    explicit TestStore(StoreKind kind, const std::filesystem::path& cluster = {})
        : database_(kind == StoreKind::Postgres
                        ? std::make_unique<ScratchDatabase>(cluster.empty() ? testCluster() : cluster)
                        : nullptr) {
        if (!database_) std::filesystem::create_directories(dataFolder());
    }

    std::unique_ptr<site::Store> open() const {
        if (database_) return std::make_unique<site::PostgresStore>(database_->url(), 4);
        return std::make_unique<site::SqliteStore>(sqlitePath());
    }
    // The program's data folder (with the SQLite file in it), and the
    // options that make the program use this store.
    std::filesystem::path dataFolder() const { return folder_.path() / "data"; }
    std::vector<std::string> programArguments() const {
        if (database_) return {"--database", database_->url()};
        return {"--data", dataFolder().string()};
    }
    const std::string& databaseUrl() const { return database_->url(); }
    // Runs statements on the database behind the store's back.
    void execute(const std::string& sql) const {
        if (database_) return database_->execute(sql);
        site::Connection(sqlitePath()).exec(sql.c_str());
    }
    // A user as `user add` makes one, with a cheaper hash.
    void addUser(const std::string& name, const std::string& password, bool pro = false) const {
        site::createUser(*open(), name, password, pro, std::time(nullptr), kTestIterations);
    }

private:
    ScratchFolder folder_;
    std::unique_ptr<ScratchDatabase> database_;

    std::string sqlitePath() const { return (dataFolder() / "site.db").string(); }
};

}  // namespace site_test
