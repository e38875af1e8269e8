// Requests per second and latency of /api/me with 1, 16 and 64 keep-alive
// clients, on SQLite and on PostgreSQL (a throw-away cluster with fsync on), upload throughput of 1 MiB and 8 MiB PNGs, and the server's peak
// memory. Floors beside them: GET /healthz (TLS and HTTP only) and an upload
// of the same size that is no PNG, which the server reads, stores for the
// check and refuses.
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

#include "support/postgres_cluster.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double perSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failures = 0;
};

// `total` GETs of `path` spread over `clients` keep-alive connections.
Figures measureGets(const site_test::SiteProcess& server, const std::string& path, const httplib::Headers& headers,
                    int clients, int total) {
    std::vector<std::vector<double>> latencies(clients);
    std::atomic<int> failures{0};
    std::vector<std::unique_ptr<httplib::SSLClient>> connections;
    for (int i = 0; i < clients; ++i) {
        connections.push_back(server.client());
        connections.back()->set_keep_alive(true);
        connections.back()->Get(path, headers);  // the handshake is not measured
    }
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            const int mine = total / clients;
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

void printGets(const char* request, int clients, const Figures& figures) {
    std::printf("%-28s %8d %12.0f %9.2f %9.2f%s\n", request, clients, figures.perSecond, figures.p50, figures.p99,
                figures.failures ? "  (failures!)" : "");
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
    const auto data = folder.path() / "data";
    site_test::addSiteUser(data, "bench", "pw", true);
    site_test::SiteProcess server(data);
    const auto linked = server.client()->Post(
        "/api/link/redeem", nlohmann::json{{"code", site_test::issueSiteCode(data, "bench")}}.dump(), "application/json");
    const std::string token = nlohmann::json::parse(linked->body)["token"];
    const httplib::Headers bearer{{"Authorization", "Bearer " + token}};
    const site_test::OwnCluster cluster(true);
    const site_test::ScratchDatabase database(cluster.folder());
    const auto postgres = site_test::SiteStore::database(database.url());
    site_test::addSiteUser(postgres, "bench", "pw", true);
    site_test::SiteProcess onPostgres(folder.path() / "pg", postgres.arguments);
    const auto pgBearer = site_test::bearer(site_test::linkDevice(onPostgres, postgres, "bench"));

    std::printf("%-28s %8s %12s %9s %9s\n", "request", "clients", "requests/s", "p50 ms", "p99 ms");
    for (int clients : {1, 16, 64}) {
        const int total = clients == 1 ? requests / 4 : requests;
        const Figures me = measureGets(server, "/api/me", bearer, clients, total);
        const Figures pg = measureGets(onPostgres, "/api/me", pgBearer, clients, total);
        const Figures floor = measureGets(server, "/healthz", {}, clients, total);
        printGets("GET /api/me", clients, me);
        printGets("GET /api/me on PostgreSQL", clients, pg);
        printGets("  floor: GET /healthz", clients, floor);
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
