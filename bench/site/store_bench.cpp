// The two stores under the same load, in one run: GET /api/me and 1 MiB
// uploads at 1, 16 and 64 keep-alive clients, against SQLite (one
// instance), PostgreSQL with one instance, and PostgreSQL with two instances
// on one database (the clients split between them). The floor beside each
// client count is GET /healthz, which touches no store. Then single store
// calls without HTTP, and PostgreSQL's bare round trip, to show where the
// time goes, and the most that round trip leaves PostgreSQL of SQLite's rate
// at one client. PostgreSQL runs in a throw-away cluster with fsync on, as
// SQLite runs with synchronous=FULL, and counts the statements each request
// made (pg_stat_statements): one round trip each, their preparing once per
// connection aside.
//
//   site_store_bench [GETs per client count, default 8000] [uploads per client count, default 128]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "security/secrets.h"
#include "storage/postgres/postgres_handles.h"
#include "storage/postgres/postgres_store.h"
#include "storage/sqlite/sqlite_store.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_store.h"
#include "web/quota.h"

namespace {

using Clock = std::chrono::steady_clock;
using site_test::SiteProcess;

struct Figures {
    double perSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failures = 0;
};

// One request on a client's connection; true when it got the expected answer.
using Request = std::function<bool(httplib::SSLClient& client, int n)>;

// `total` requests spread over `clients` keep-alive connections, which are
// spread over the instances.
Figures measure(const std::vector<SiteProcess*>& instances, int clients, int total, const Request& request) {
    std::vector<std::unique_ptr<httplib::SSLClient>> connections;
    for (int i = 0; i < clients; ++i) {
        connections.push_back(instances[i % instances.size()]->client());
        connections.back()->set_keep_alive(true);
        connections.back()->Get("/healthz");  // the handshake is not measured
    }
    std::vector<std::vector<double>> latencies(clients);
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < clients; ++i) {
            threads.emplace_back([&, i] {
                for (int n = 0; n < total / clients; ++n) {
                    const auto before = Clock::now();
                    if (!request(*connections[i], i * total + n)) ++failures;
                    latencies[i].push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
                }
            });
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (const auto& each : latencies) all.insert(all.end(), each.begin(), each.end());
    std::sort(all.begin(), all.end());
    return {static_cast<double>(all.size()) / seconds, all[all.size() / 2], all[all.size() * 99 / 100], failures};
}

struct Setup {
    std::string name;
    std::vector<std::unique_ptr<SiteProcess>> instances;
    httplib::Headers bearer;
    std::string database;  // empty on SQLite

    std::vector<SiteProcess*> all() const {
        std::vector<SiteProcess*> pointers;
        for (const auto& instance : instances) pointers.push_back(instance.get());
        return pointers;
    }
};

// A PRO user with a linked device, and `instances` servers on `store`;
// `database` is its address when it is PostgreSQL, for the statement counts.
Setup start(const std::string& name, const std::filesystem::path& folder, const site_test::TestStore& store,
            const std::string& database, int instances) {
    store.addUser("bench", "pw", true);
    std::vector<std::string> arguments = store.programArguments();
    arguments.insert(arguments.end(), {"--threads", "80"});
    Setup setup{name, {}, {}, database};
    std::filesystem::create_directories(folder);  // for the servers' logs
    for (int i = 0; i < instances; ++i)
        setup.instances.push_back(std::make_unique<SiteProcess>(folder / std::to_string(i), arguments));
    setup.bearer = site_test::bearer(site_test::linkDevice(*setup.instances[0], store, "bench"));
    return setup;
}

// pg_stat_statements is loaded at start, so the cluster starts again.
void countStatements(const std::filesystem::path& cluster) {
    site_test::stopCluster(cluster);
    std::ofstream(cluster / "data" / "postgresql.conf", std::ios::app)
        << "shared_preload_libraries = 'pg_stat_statements'\n";
    site_test::restartCluster(cluster);
}

// Statements the database at `url` has run, these questions aside.
std::int64_t statementsRun(const std::string& url) {
    return site::PgConnection(url)
        .run("SELECT coalesce(sum(calls), 0) FROM pg_stat_statements WHERE query NOT LIKE '%pg_stat_statements%' "
             "AND dbid = (SELECT oid FROM pg_database WHERE datname = current_database())")
        .integer(0, 0);
}

// `measure`, with the statements per request on PostgreSQL.
Figures measureStatements(const Setup& setup, int clients, int total, const Request& request, double& perRequest) {
    const std::int64_t before = setup.database.empty() ? 0 : statementsRun(setup.database);
    const Figures figures = measure(setup.all(), clients, total, request);
    if (!setup.database.empty())
        perRequest = static_cast<double>(statementsRun(setup.database) - before) / (total / clients * clients);
    return figures;
}

void printRow(const char* request, const std::string& target, int clients, const Figures& figures, double mebibytes,
              double statements = -1) {
    std::printf("%-20s %-24s %7d %10.0f %9.1f %8.2f %8.2f", request, target.c_str(), clients, figures.perSecond,
                figures.perSecond * mebibytes, figures.p50, figures.p99);
    if (statements >= 0) std::printf(" %10.2f", statements);
    std::printf("%s\n", figures.failures ? "  (failures!)" : "");
}

// Microseconds per call of `call`, run `count` times on one thread.
double microseconds(int count, const std::function<void(int)>& call) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) call(i);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

void printStoreCalls(const std::string& name, site::Store& store, int count) {
    const auto user = site::createUser(store, "direct", "pw", false, 0, 1);
    store.replaceLinkCode(user, "code", 600, "");
    store.redeemLinkCode("code", "token", 0);
    const double lookup = microseconds(count, [&](int) { store.userByToken("token", 0, 0); });
    const double upload = microseconds(count / 10, [&](int i) {
        store.addShotWithinLimit({site::newShotId(), user, i, i + 1, 1}, i, 1000);
    });
    std::printf("%-24s userByToken %8.1f us   addShotWithinLimit %8.1f us\n", name.c_str(), lookup, upload);
}

}  // namespace

int main(int argc, char** argv) {
    const int gets = argc > 1 ? std::max(200, std::atoi(argv[1])) : 8000;
    const int uploads = argc > 2 ? std::max(64, std::atoi(argv[2])) : 128;
    site_test::ScratchFolder folder;
    const site_test::OwnCluster cluster(true);
    countStatements(cluster.folder());
    const site_test::TestStore onSqlite(site_test::StoreKind::Sqlite);
    const site_test::TestStore oneInstance(site_test::StoreKind::Postgres, cluster.folder()),
        twoInstances(site_test::StoreKind::Postgres, cluster.folder());
    for (const auto* database : {&oneInstance, &twoInstances}) database->execute("CREATE EXTENSION pg_stat_statements");
    std::vector<Setup> setups;
    setups.push_back(start("SQLite, 1 instance", folder.path() / "sqlite", onSqlite, "", 1));
    setups.push_back(start("PostgreSQL, 1 instance", folder.path() / "pg1", oneInstance, oneInstance.databaseUrl(), 1));
    setups.push_back(start("PostgreSQL, 2 instances", folder.path() / "pg2", twoInstances, twoInstances.databaseUrl(), 2));

    std::vector<std::string> bodies;
    for (std::uint32_t seed = 0; seed < 8; ++seed) bodies.push_back(site_test::makePng(64, 64, seed, 1 << 20));

    std::printf("%-20s %-24s %7s %10s %9s %8s %8s %10s\n", "request", "store", "clients", "per s", "MiB/s", "p50 ms",
                "p99 ms", "stmts/req");
    double sqliteAtOne = 0;  // /api/me per second on SQLite at one client
    for (int clients : {1, 16, 64}) {
        const int total = clients == 1 ? gets / 4 : gets;
        const Request healthz = [](httplib::SSLClient& client, int) {
            const auto answer = client.Get("/healthz");
            return answer && answer->status == 200;
        };
        printRow("floor: GET /healthz", "none", clients, measure(setups[0].all(), clients, total, healthz), 0);
        for (const Setup& setup : setups) {
            const Request me = [&](httplib::SSLClient& client, int) {
                const auto answer = client.Get("/api/me", setup.bearer);
                return answer && answer->status == 200;
            };
            double statements = -1;
            const Figures figures = measureStatements(setup, clients, total, me, statements);
            if (clients == 1 && setup.database.empty()) sqliteAtOne = figures.perSecond;
            printRow("GET /api/me", setup.name, clients, figures, 0, statements);
        }
    }
    std::printf("\n");
    for (int clients : {1, 16, 64}) {
        const int total = clients == 1 ? uploads / 4 : uploads;
        for (const Setup& setup : setups) {
            const Request upload = [&](httplib::SSLClient& client, int n) {
                const auto answer = client.Post("/api/shots", setup.bearer, bodies[n % bodies.size()], "image/png");
                return answer && answer->status == 200;
            };
            printRow("POST 1 MiB shot", setup.name, clients, measure(setup.all(), clients, total, upload), 1);
        }
    }

    std::printf("\nstore calls on one thread, without HTTP:\n");
    site::SqliteStore sqlite((folder.path() / "direct.db").string());
    printStoreCalls("SQLite", sqlite, 2000);
    const site_test::ScratchDatabase direct(cluster.folder());
    site::PostgresStore postgres(direct.url(), 1);
    printStoreCalls("PostgreSQL", postgres, 2000);
    site::PgConnection bare(direct.url());
    const double roundTrip = microseconds(2000, [&](int) { bare.run("SELECT 1"); });
    std::printf("%-24s SELECT 1 %11.1f us (the round trip alone)\n", "PostgreSQL", roundTrip);
    // An answer that stays exact across instances asks the database each time, so at one client a request on
    // PostgreSQL takes at least SQLite's whole request plus one round trip.
    const double ceiling = 1e6 / (1e6 / sqliteAtOne + roundTrip);
    std::printf("\nGET /api/me on PostgreSQL at one client: at most %.0f/s, %.0f %% of SQLite's %.0f/s\n", ceiling,
                100 * ceiling / sqliteAtOne, sqliteAtOne);
    return 0;
}
