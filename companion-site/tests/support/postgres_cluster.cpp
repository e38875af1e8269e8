#include "support/postgres_cluster.h"

#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "security/secrets.h"
#include "storage/postgres/postgres_handles.h"
#include "support/child_process.h"

namespace site_test {
namespace {

constexpr char kSharedClusterVariable[] = "CLIPVANE_TEST_POSTGRES";

// PostgreSQL refuses to run as root, so root hands the cluster to `postgres`.
std::optional<RunAs> clusterUser() {
    if (::geteuid() != 0) return std::nullopt;
    const passwd* user = ::getpwnam("postgres");
    if (!user) throw std::runtime_error("as root, the test cluster needs the postgres user (Debian's postgresql)");
    return RunAs{user->pw_uid, user->pw_gid};
}

// Runs one of PostgreSQL's programs as the cluster's user.
void runTool(const char* tool, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), std::string(CLIPVANE_POSTGRES_BIN) + "/" + tool);
    const auto run = runProgram(arguments, "", clusterUser());
    if (run.exitCode != 0) throw std::runtime_error(std::string(tool) + " failed:\n" + run.output);
}

// The address of `database` in the cluster, as libpq takes it.
std::string clusterUrl(const std::filesystem::path& folder, const std::string& database) {
    return "postgresql://postgres@/" + database + "?host=" + folder.string();
}

// The server's process id and those of its children.
std::vector<pid_t> clusterProcesses(const std::filesystem::path& folder) {
    pid_t server = 0;
    std::ifstream(folder / "data" / "postmaster.pid") >> server;
    if (server <= 0) throw std::runtime_error("no running server in " + folder.string());
    std::vector<pid_t> found{server};
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        // After "pid (name)": the state, then the parent's id.
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        pid_t parent = 0;
        if (rest >> state >> parent && parent == server) found.push_back(std::stoi(entry.path().filename()));
    }
    return found;
}

}  // namespace

FrozenCluster::FrozenCluster(const std::filesystem::path& folder) : folder_(folder) {
    // The server first, so it starts nothing new meanwhile.
    for (const pid_t pid : clusterProcesses(folder_)) ::kill(pid, SIGSTOP);
}

FrozenCluster::~FrozenCluster() {
    for (const pid_t pid : clusterProcesses(folder_)) ::kill(pid, SIGCONT);
}

void startCluster(const std::filesystem::path& folder, bool durable) {
    const auto user = clusterUser();
    std::filesystem::create_directories(folder);
    if (user && ::chown(folder.c_str(), user->uid, user->gid) != 0)
        throw std::runtime_error("chown " + folder.string());
    runTool("initdb",
            {"-D", folder / "data", "-U", "postgres", "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"});
    std::ofstream settings(folder / "data" / "postgresql.conf", std::ios::app);
    settings << "listen_addresses = ''\nunix_socket_directories = '" << folder.string() << "'\n";
    if (!durable) settings << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
    settings.close();
    restartCluster(folder);
}

void restartCluster(const std::filesystem::path& folder) {
    runTool("pg_ctl", {"-D", folder / "data", "-l", folder / "server.log", "-w", "-t", "60", "start"});
}

void stopCluster(const std::filesystem::path& folder) {
    runTool("pg_ctl", {"-D", folder / "data", "-w", "-t", "60", "-m", "fast", "stop"});
}

OwnCluster::OwnCluster(bool durable)
    : folder_(std::filesystem::temp_directory_path() / ("clipvane-pg-" + site::toHex(site::randomBytes(6)))) {
    startCluster(folder_, durable);
}

OwnCluster::~OwnCluster() {
    try {
        stopCluster(folder_);
    } catch (const std::exception&) {
        // Already stopped by the test.
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

const std::filesystem::path& testCluster() {
    static const std::filesystem::path shared = [] {
        const char* named = std::getenv(kSharedClusterVariable);
        return std::filesystem::path(named ? named : "");
    }();
    if (!shared.empty()) return shared;
    static const OwnCluster own;
    return own.folder();
}

ScratchDatabase::ScratchDatabase(const std::filesystem::path& cluster)
    : cluster_(cluster), name_("test_" + site::toHex(site::randomBytes(8))), url_(clusterUrl(cluster, name_)) {
    site::PgConnection(clusterUrl(cluster_, "postgres")).exec(("CREATE DATABASE " + name_).c_str());
}

ScratchDatabase::~ScratchDatabase() {
    try {
        site::PgConnection(clusterUrl(cluster_, "postgres")).exec(("DROP DATABASE " + name_ + " WITH (FORCE)").c_str());
    } catch (const std::exception&) {
        // The cluster is gone with it.
    }
}

void ScratchDatabase::execute(const std::string& sql) const {
    site::PgConnection(url_).exec(sql.c_str());
}

}  // namespace site_test
