// Requests per second and latency of GET /healthz and GET /api/me with 1,
// 16 and 64 keep-alive clients, /api/me also on PostgreSQL (a throw-away
// cluster with fsync on), upload throughput of 1 MiB and 8 MiB PNGs, and the
// server's peak memory. Floors beside them: Debian's nginx serving /api/me's
// answer as a static file over TLS with the same certificate (each figure
// also as a share of it, PostgreSQL's as a share of SQLite's; the median of
// five rounds taken in turns), and an upload of the same size that is no
// PNG, which the server reads, stores for the check and refuses.
//
//   site_bench [requests per client count, default 20000]

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_store.h"
#include "static_server.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;

struct Figures {
    double perSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failures = 0;
};

// `total` GETs of `path` spread over `clients` keep-alive connections to
// the server on `port`.
Figures measureGets(int port, const std::string& path, const httplib::Headers& headers, int clients, int total) {
    std::vector<std::vector<double>> latencies(clients);
    std::atomic<int> failures{0};
    std::vector<std::unique_ptr<httplib::SSLClient>> connections;
    for (int i = 0; i < clients; ++i) {
        connections.push_back(site_test::testClient(port));
        connections.back()->set_keep_alive(true);
        connections.back()->Get(path, headers);  // the handshake is not measured
    }
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            const int mine = std::max(1, total / clients);  // so a small count never leaves the list empty
            latencies[i].reserve(mine);
            for (int n = 0; n < mine; ++n) {
                const auto before = Clock::now();
                const auto answer = connections[i]->Get(path, headers);
                latencies[i].push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
                if (!answer || answer->status != 200) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (const auto& each : latencies) all.insert(all.end(), each.begin(), each.end());
    std::sort(all.begin(), all.end());
    return {static_cast<double>(all.size()) / seconds, all[all.size() / 2], all[all.size() * 99 / 100], failures};
}

// The round of median rate: on a shared machine a neighbour's burst can
// halve one measurement, so each target is measured in turns with the
// others, several times.
Figures median(std::vector<Figures> rounds) {
    std::sort(rounds.begin(), rounds.end(), [](const Figures& a, const Figures& b) { return a.perSecond < b.perSecond; });
    Figures middle = rounds[rounds.size() / 2];
    middle.failures = 0;
    for (const Figures& round : rounds) middle.failures += round.failures;
    return middle;
}

// MB/s of `count` POSTs of `body` to `path`, one connection.
double measurePosts(const site_test::SiteProcess& server, const std::string& path, const httplib::Headers& headers,
                    const std::string& body, int count, int expectedStatus) {
    auto client = server.client();
    client->set_keep_alive(true);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto answer = client->Post(path, headers, body, "image/png");
        if (!answer || answer->status != expectedStatus) std::fprintf(stderr, "unexpected answer to %s\n", path.c_str());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(body.size()) * count / seconds / (1024.0 * 1024.0);
}

std::string peakMemory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return line.substr(6 + line.substr(6).find_first_not_of(" \t"));
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    site_test::ScratchFolder folder;
    const site_test::TestStore sqlite(site_test::StoreKind::Sqlite);
    sqlite.addUser("bench", "pw", true);
    site_test::SiteProcess server(sqlite.dataFolder());
    const auto bearer = site_test::bearer(site_test::linkDevice(server, sqlite, "bench"));
    const site_test::OwnCluster cluster(true);
    const site_test::TestStore postgres(site_test::StoreKind::Postgres, cluster.folder());
    postgres.addUser("bench", "pw", true);
    site_test::SiteProcess onPostgres(folder.path() / "pg", postgres.programArguments());
    const auto pgBearer = site_test::bearer(site_test::linkDevice(onPostgres, postgres, "bench"));

    const std::string meAnswer = server.client()->Get("/api/me", bearer)->body;
    const site_bench::StaticServer floorServer(folder.path() / "static", "/me.json", meAnswer);
    if (!floorServer.running())
        std::printf("no floor from nginx, so no shares of it: %s\n\n", floorServer.why().c_str());

    struct Target {
        const char* what;
        int port;
        std::string path;
        httplib::Headers headers;
        const char* goal;  // the share aimed at
        bool ofSqlite = false;  // a share of /api/me on SQLite, not of the floor
    };
    std::vector<Target> targets{{"GET /healthz", server.port(), "/healthz", {}, "85 %"},
                                {"GET /api/me", server.port(), "/api/me", bearer, "70 %"},
                                {"GET /api/me on PostgreSQL", onPostgres.port(), "/api/me", pgBearer,
                                 "50 % of /api/me", true}};
    if (floorServer.running())
        targets.insert(targets.begin(), {"  floor: nginx, static file", floorServer.port(), "/me.json", {}, nullptr});
    std::printf("%-28s %8s %12s %9s %9s  %s\n", "request", "clients", "requests/s", "p50 ms", "p99 ms", "of the floor");
    for (int clients : {1, 16, 64}) {
        const int total = clients == 1 ? requests / 4 : requests;
        std::vector<std::vector<Figures>> rounds(targets.size());
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t i = 0; i < targets.size(); ++i)
                rounds[i].push_back(
                    measureGets(targets[i].port, targets[i].path, targets[i].headers, clients, total / kRounds));
        }
        double floor = 0, sqlite = 0;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const Figures shown = median(rounds[i]);
            if (!targets[i].goal) floor = shown.perSecond;
            if (targets[i].path == "/api/me" && !targets[i].ofSqlite) sqlite = shown.perSecond;
            std::printf("%-28s %8d %12.0f %9.2f %9.2f", targets[i].what, clients, shown.perSecond, shown.p50, shown.p99);
            const double base = targets[i].ofSqlite ? sqlite : floor;
            if (targets[i].goal && base > 0)
                std::printf("  %5.1f %% (goal %s)", 100 * shown.perSecond / base, targets[i].goal);
            std::printf("%s\n", shown.failures ? "  (failures!)" : "");
        }
    }

    std::printf("\n%-28s %10s\n", "upload", "MB/s");
    for (const auto& [mebibytes, count] : {std::pair{1, 40}, std::pair{8, 8}}) {
        const std::string png = site_test::makePng(64, 64, static_cast<std::uint32_t>(mebibytes),
                                                   static_cast<std::size_t>(mebibytes) << 20);
        const double upload = measurePosts(server, "/api/shots", bearer, png, count, 200);
        const double floor = measurePosts(server, "/api/shots", bearer, std::string(png.size(), 'x'), count, 415);
        std::printf("%-28s %10.1f\n", ("POST /api/shots " + std::to_string(mebibytes) + " MiB").c_str(), upload);
        std::printf("%-28s %10.1f\n", "  floor: same size, no PNG", floor);
    }
    std::printf("\nserver peak memory (VmHWM): %s\n", peakMemory(server.pid()).c_str());
    return server.stop() == 0 ? 0 : 1;
}
