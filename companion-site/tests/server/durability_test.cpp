// The site's data through hard times: the server killed in the middle of a
// stream of uploads, round after round, on either store (every upload that
// got a link survives byte for byte, no half-written shot is ever served,
// the day's count matches the shots); stopped while large uploads trickle
// in; two processes on one PostgreSQL database, as behind a load balancer,
// living through the database going away and its host freezing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/raw_tls.h"
#include "support/site_process.h"
#include "web/messages.h"
#include "web/quota.h"
#include "web/upload/png_check.h"

namespace {

constexpr int kPoolConnections = 8;  // the site's default --database-connections
constexpr int kRounds = 6, kUploaders = 4, kAnswersBeforeKill = 12;

// Distinct PNGs uploaded by several threads until the server stops
// answering, and those that got a link.
struct Uploads {
    std::mutex mutex;
    std::condition_variable grew;
    std::map<std::string, std::string> acknowledged;  // path of the link -> uploaded bytes
    std::atomic<std::uint32_t> seed{1};

    void untilCut(const site_test::SiteProcess& server, const std::string& token) {
        auto client = server.client();
        client->set_keep_alive(true);
        for (;;) {
            const std::uint32_t mine = seed++;
            const std::string png = site_test::makePng(40 + static_cast<int>(mine % 17), 30, mine, 20000 + (mine % 5) * 30000);
            const std::string link = site_test::linkPath(site_test::uploadShot(*client, token, png));
            if (link == "(none)") return;
            std::lock_guard lock(mutex);
            acknowledged[link] = png;
            grew.notify_all();
        }
    }
};

using namespace site_test;
using nlohmann::json;
using ::testing::HasSubstr;

// Only complete files of the store's shots are in the data folder, `count` in all.
void expectOnlyShotFiles(const std::filesystem::path& data, site::Store& store, std::size_t count) {
    const std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(data / "shots"), {});
    for (const auto& file : files) EXPECT_TRUE(file.extension() == ".png" && store.hasShot(file.stem().string())) << file;
    EXPECT_EQ(files.size(), count);
}

struct CrashSafety : ::testing::TestWithParam<StoreKind> {};

INSTANTIATE_TEST_SUITE_P(Both, CrashSafety, ::testing::Values(StoreKind::Sqlite, StoreKind::Postgres),
                         ::testing::PrintToStringParamName());

TEST_P(CrashSafety, KilledServerLosesNothingAcknowledged) {
    const site_test::TestStore place(GetParam());
    const auto data = place.dataFolder();
    place.addUser("heavy", "pw", true);
    const std::string token = site_test::linkDevice(site_test::SiteProcess(data, place.programArguments()), place, "heavy");

    Uploads uploads;
    for (int round = 0; round < kRounds; ++round) {
        site_test::SiteProcess server(data, place.programArguments());
        const std::size_t killAt = uploads.acknowledged.size() + kAnswersBeforeKill + round;
        std::vector<std::thread> uploaders;
        for (int i = 0; i < kUploaders; ++i) uploaders.emplace_back([&] { uploads.untilCut(server, token); });
        {
            // Killed while the uploaders keep sending, at a different count each round.
            std::unique_lock lock(uploads.mutex);
            uploads.grew.wait(lock, [&] { return uploads.acknowledged.size() >= killAt; });
        }
        server.kill();
        for (auto& uploader : uploaders) uploader.join();
    }

    site_test::SiteProcess server(data, place.programArguments());
    auto client = server.client();
    const auto opened = place.open();
    const auto user = opened->userByName("heavy");
    const auto shots = opened->shotsOf(user->id);
    std::size_t acknowledgedWhole = 0;
    std::map<std::int64_t, int> shotsPerDay;
    for (const auto& shot : shots) {
        const auto served = client->Get("/s/" + shot.id);
        ASSERT_TRUE(served && served->status == 200) << shot.id;
        EXPECT_EQ(site::checkPng(served->body), site::PngProblem::None) << shot.id;
        EXPECT_EQ(static_cast<std::int64_t>(served->body.size()), shot.size) << shot.id;
        const auto sent = uploads.acknowledged.find("/s/" + shot.id);
        if (sent != uploads.acknowledged.end() && sent->second == served->body) ++acknowledgedWhole;
        ++shotsPerDay[site::utcDay(shot.createdAt)];
    }
    EXPECT_EQ(acknowledgedWhole, uploads.acknowledged.size());
    for (const auto& [day, count] : shotsPerDay) EXPECT_EQ(opened->uploadsOn(user->id, day), count) << day;
    if (GetParam() == StoreKind::Postgres) return;  // its pieces are rows, with no folder to check
    expectOnlyShotFiles(data, *opened, shots.size());
}

// SIGTERM while large uploads trickle in and a small one is in flight: the
// connections that wait are ended, the one in flight is answered, and the
// stop is a clean one, not a crash, after which every acknowledged shot is
// there and nothing half-written is, listed or on the disk. The log has one
// line per request and no secret.
TEST(CleanStop, UploadsUnderWayEndWithoutTrace) {
    const site_test::TestStore place(StoreKind::Sqlite);
    const auto data = place.dataFolder();
    place.addUser("alice", "very-secret-password", true);
    site_test::SiteProcess server(data);
    const std::string token = site_test::linkDevice(server, place, "alice");
    server.client()->Post("/account/sign-in", "user=alice&password=very-secret-password",
                          "application/x-www-form-urlencoded");
    std::map<std::string, std::string> acknowledged;  // shot id -> its bytes
    const std::string small = site_test::makePng(20, 20, 1), large = site_test::makePng(64, 64, 9, site::kMaxShotBytes);
    acknowledged[site_test::linkPath(site_test::uploadShot(*server.client(), token, small)).substr(3)] = small;

    const auto admitted = [&](const std::string& png) {
        auto upload = std::make_unique<site_test::RawTls>(server.port());
        upload->send("POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\nExpect: 100-continue\r\n"
                     "Authorization: Bearer " + token + "\r\nContent-Length: " + std::to_string(png.size()) + "\r\n\r\n");
        EXPECT_EQ(upload->answer().status, 100);
        return upload;
    };
    std::vector<std::unique_ptr<site_test::RawTls>> uploads;
    for (int i = 0; i < 3; ++i) uploads.push_back(admitted(large));
    const auto inFlight = admitted(small);
    const int silent = site_test::connectTcp(server.port(), "127.0.0.1", 30);
    site_test::RawTls waiting(server.port());
    waiting.send("GET /healthz HTTP/1.1\r\nHost: loc");
    std::vector<std::jthread> trickles;
    for (const auto& upload : uploads) {
        trickles.emplace_back([&large, &upload = *upload] {
            constexpr std::size_t kStep = 16 * 1024;  // 320 KiB/s: above the least rate, far from done at the stop
            for (std::size_t sent = 0; sent < large.size() && upload.send(large.substr(sent, kStep)); sent += kStep)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(server.pid(), SIGTERM);
    // The small body follows only once the waiting connection is gone: a
    // server that waited for it would be past its stop by then.
    EXPECT_TRUE(waiting.closedByServer());
    inFlight->send(small);
    const auto answer = inFlight->answer();
    EXPECT_EQ(answer.headers.at("connection"), "close");
    const std::string url = json::parse(answer.body)["url"];
    acknowledged[url.substr(url.rfind('/') + 1)] = small;
    EXPECT_EQ(server.stop(), 0) << server.log();
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0);
    ::close(silent);
    trickles.clear();

    const auto opened = place.open();
    const site::ShotFiles files(data / "shots", false);
    std::map<std::string, std::string> listed;
    for (const auto& shot : opened->shotsOf(opened->userByName("alice")->id))
        listed[shot.id] = site_test::shotBytes(files, shot.id);
    EXPECT_EQ(listed, acknowledged);
    expectOnlyShotFiles(data, *opened, acknowledged.size());

    const std::string log = server.log();
    EXPECT_EQ(log.find(token), std::string::npos);
    EXPECT_EQ(log.find("very-secret-password"), std::string::npos);
    const std::regex logged("\"[^\"\n]*\" [0-9]{3}");  // the request and status of each line
    const std::vector<std::string> lines(std::sregex_token_iterator(log.begin(), log.end(), logged), {});
    const std::string upload = "\"POST /api/shots HTTP/1.1\" 200";
    EXPECT_EQ(lines, (std::vector<std::string>{"\"POST /api/link/redeem HTTP/1.1\" 200",
                                               "\"POST /account/sign-in HTTP/1.1\" 403", upload, upload}))
        << log;
}

int statusOf(const httplib::Result& answer) { return answer ? answer->status : 0; }

void expectUnavailable(const httplib::Result& answer) {
    ASSERT_EQ(statusOf(answer), 503);
    EXPECT_EQ(json::parse(answer->body)["error"], site::messages::kUnavailable);
    EXPECT_NE(answer->get_header_value("Retry-After"), "");
}

// A shot stored through one is served by the other; the attempts of both
// count against one limit. A held lock or a database that is down gives
// 503 in bounded time while /healthz answers; while it is down,
// the sweeps fail without ending the server, whose metrics page still tells
// what it saw; once the database is back, nothing acknowledged is lost.
// Then the database host freezes with its connections open: with two
// workers, one waits on the open connection and the other on opening a
// second, each until its deadline; then the silent database holds at most
// one worker at a time, and the other answers at once. Once the host runs
// again the site recovers by itself, for all its workers: while one waits
// on a lock, another answers.
TEST(TwoInstances, RulesHoldAcrossBothAndOutliveTheDatabaseGoingAway) {
    site_test::OwnCluster cluster;
    const site_test::TestStore store(StoreKind::Postgres, cluster.folder());
    store.addUser("alice", "pw");
    site_test::ScratchFolder folder;
    SiteProcess a(folder.path() / "a",
                  {"--database", store.databaseUrl(), "--threads", "2", "--metrics-listen", "127.0.0.1:0"});
    SiteProcess b(folder.path() / "b",
                  {"--database", store.databaseUrl(), "--sweep-seconds", "1", "--metrics-listen", "127.0.0.1:0"});
    const std::string first = site_test::linkDevice(a, store, "alice");
    const std::string png = site_test::makePng(40, 40, 3, 2621440);  // three pieces in the database
    const std::string link = site_test::linkPath(site_test::uploadShot(*a.client(), first, png));
    EXPECT_TRUE(b.client()->Get(link)->body == png);

    const std::string token = site_test::linkDevice(b, store, "alice");
    const auto guess = [](SiteProcess& server) {
        return statusOf(server.client()->Post("/api/link/redeem", R"({"code":"ACDE-3479"})", "application/json"));
    };
    for (int redeems = 2; redeems < site::kAttemptsPerWindow; ++redeems) EXPECT_EQ(guess(redeems % 2 ? a : b), 400);
    EXPECT_EQ(guess(a), 429);
    EXPECT_EQ(guess(b), 429);

    auto client = b.client(15);
    {
        // A lock held by maintenance: a bounded wait, then 503, while /healthz answers.
        site::PgConnection maintenance(store.databaseUrl());
        maintenance.exec("BEGIN; LOCK TABLE tokens IN ACCESS EXCLUSIVE MODE");
        std::vector<std::jthread> waiting;
        for (int i = 0; i < 2 * kPoolConnections; ++i)
            waiting.emplace_back([&] { expectUnavailable(b.client(15)->Get("/api/me", bearer(token))); });
        EXPECT_EQ(statusOf(client->Get("/healthz")), 200);
    }
    EXPECT_EQ(statusOf(client->Get("/api/me", bearer(token))), 200);

    // Stopped for a while under steady requests: many more failed connection
    // attempts than the pool has connections.
    site_test::stopCluster(cluster.folder());
    for (int i = 0; i < 4 * kPoolConnections; ++i) {
        expectUnavailable(client->Get("/api/me", bearer(token)));
        EXPECT_EQ(statusOf(client->Get("/healthz")), 200);
    }
    expectUnavailable(client->Post("/api/shots", bearer(token), png, "image/png"));
    for (int wait = 0; wait < 200 && b.log().find("sweep failed") == std::string::npos; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_THAT(b.log(), HasSubstr("sweep failed"));
    const auto metrics = httplib::Client("127.0.0.1", b.metricsPort()).Get("/metrics");
    ASSERT_EQ(statusOf(metrics), 200);
    EXPECT_EQ(metrics->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const std::string unavailable = std::to_string(6 * kPoolConnections);
    for (const std::string& sample : {"clipvane_http_requests_total{route=\"api_me\",code=\"503\"} " + unavailable + "\n",
                                      std::string("clipvane_http_requests_total{route=\"shot\",code=\"200\"} 1\n"),
                                      std::string("clipvane_link_codes_redeemed_total 1\n")})
        EXPECT_THAT(metrics->body, HasSubstr(sample));
    // No name or label on the page names anyone.
    std::istringstream in(metrics->body);
    for (std::string text; std::getline(in, text);)
        for (const std::string& secret : {std::string("alice"), token, link.substr(3, 6)})
            EXPECT_EQ(text.substr(0, text.rfind(' ')).find(secret), std::string::npos) << text;

    site_test::restartCluster(cluster.folder());
    EXPECT_EQ(json::parse(client->Get("/api/me", bearer(token))->body)["used"], 1);
    EXPECT_TRUE(a.client()->Get(link)->body == png);

    const auto me = [&] { return a.client(15)->Get("/api/me", bearer(token)); };
    {
        const site_test::FrozenCluster frozen(cluster.folder());
        std::vector<std::jthread> clients;
        for (int i = 0; i < 2 * kPoolConnections; ++i) clients.emplace_back([&] { expectUnavailable(me()); });
        clients.clear();  // every one answered
        EXPECT_EQ(statusOf(a.client()->Get("/healthz")), 200);
        EXPECT_EQ(statusOf(httplib::Client("127.0.0.1", a.metricsPort()).Get("/metrics")), 200);
    }
    int status = 0;
    for (int tries = 0; tries < 100 && (status = statusOf(me())) != 200; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(status, 200);
    site::PgConnection maintenance(store.databaseUrl());
    maintenance.exec("BEGIN; LOCK TABLE tokens IN ACCESS EXCLUSIVE MODE");
    std::jthread waiting([&] { EXPECT_EQ(statusOf(me()), 200); });
    ASSERT_TRUE(site_test::someoneWaitsForALock(store.databaseUrl()));
    EXPECT_EQ(statusOf(a.client()->Get(link)), 200);
    maintenance.exec("COMMIT");
}

}  // namespace
