// Two clipvane-site processes on one PostgreSQL database, as behind a load
// balancer: every rule holds across them. Then the database at fault: a
// wrong address, down at start, a newer schema, gone mid-run and back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <latch>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "messages.h"
#include "postgres_store.h"
#include "site.h"
#include "support/postgres_cluster.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"

namespace {

using nlohmann::json;
using site_test::bearer;
using site_test::linkDevice;
using site_test::SiteProcess;
using site_test::SiteStore;
using ::testing::HasSubstr;

int statusOf(const httplib::Result& answer) {
    return answer ? answer->status : 0;
}

struct TwoInstances : ::testing::Test {
    site_test::ScratchFolder folder;
    site_test::ScratchDatabase database;
    SiteStore store = SiteStore::database(database.url());
    std::optional<SiteProcess> a, b;

    void SetUp() override {
        site_test::addSiteUser(store, "alice", "pw");
        a.emplace(folder.path() / "a", store.arguments);
        b.emplace(folder.path() / "b", store.arguments);
    }
};

TEST_F(TwoInstances, FiftyUploadsThroughBothAgainstALimitOfThirty) {
    const std::string token = linkDevice(*a, store, "alice");
    std::atomic<int> accepted{0}, limited{0};
    {
        std::vector<std::jthread> uploaders;
        for (int i = 0; i < 50; ++i) {
            uploaders.emplace_back([&, i] {
                const int status = statusOf((i % 2 ? *a : *b).client()->Post(
                    "/api/shots", bearer(token), site_test::makePng(16, 16, i), "image/png"));
                if (status == 200) ++accepted;
                if (status == 429) ++limited;
            });
        }
    }
    EXPECT_EQ(accepted, 30);
    EXPECT_EQ(limited, 20);
    EXPECT_EQ(json::parse(a->client()->Get("/api/me", bearer(token))->body)["used"], 30);
}

TEST_F(TwoInstances, CodeRedeemedAtBothAtOnceLinksOneDevice) {
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        const std::string body = json{{"code", site_test::issueSiteCode(store, "alice")}}.dump();
        SiteProcess* const servers[] = {&*a, &*b};
        int statuses[2] = {};
        std::latch ready(2);
        {
            std::vector<std::jthread> redeemers;
            for (int i = 0; i < 2; ++i) {
                redeemers.emplace_back([&, i] {
                    auto client = servers[i]->client();
                    client->set_keep_alive(true);
                    client->Get("/healthz");  // the handshake first, so both posts leave together
                    ready.arrive_and_wait();
                    statuses[i] = statusOf(client->Post("/api/link/redeem", body, "application/json"));
                });
            }
        }
        EXPECT_EQ(std::min(statuses[0], statuses[1]), 200) << round;
        EXPECT_EQ(std::max(statuses[0], statuses[1]), 400) << round;
    }
    site::PostgresStore direct(database.url(), 1);
    EXPECT_EQ(direct.devicesOf(direct.userByName("alice")->id).size(), static_cast<std::size_t>(kRounds));
}

TEST_F(TwoInstances, AttemptLimitsAreCountedByBoth) {
    const auto guess = [](SiteProcess& server) {
        return statusOf(server.client()->Post("/api/link/redeem", R"({"code":"ACDE-3479"})", "application/json"));
    };
    for (int i = 0; i < site::kAttemptsPerWindow; ++i) EXPECT_EQ(guess(i % 2 ? *a : *b), 400);
    EXPECT_EQ(guess(*a), 429);
    EXPECT_EQ(guess(*b), 429);
}

TEST_F(TwoInstances, ShotUploadedThroughOneIsServedByTheOther) {
    const std::string token = linkDevice(*a, store, "alice");
    const std::string png = site_test::makePng(40, 40, 3, 2621440);  // three pieces in the database
    const auto uploaded = a->client()->Post("/api/shots", bearer(token), png, "image/png");
    ASSERT_EQ(statusOf(uploaded), 200);
    const std::string url = json::parse(uploaded->body)["url"];
    const auto served = b->client()->Get(url.substr(url.find("/s/")));
    ASSERT_EQ(statusOf(served), 200);
    EXPECT_TRUE(served->body == png);
}

// Uploads through both while one is killed, round after round: every link
// that was given is served byte for byte by the one that lives.
TEST_F(TwoInstances, KilledInstanceLosesNothingAcknowledged) {
    site_test::addSiteUser(store, "heavy", "pw", true);
    const std::string token = linkDevice(*a, store, "heavy");
    std::mutex mutex;
    std::map<std::string, std::string> acknowledged;  // path of the link -> bytes
    std::atomic<int> answered{0};
    std::atomic<std::uint32_t> seed{1};
    const auto waitFor = [&](int count) {
        for (int wait = 0; wait < 2000 && answered < count; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    for (int round = 0; round < 3; ++round) {
        if (round > 0) a.emplace(folder.path() / "a", store.arguments);
        std::atomic<bool> stop{false};
        answered = 0;
        {
            std::vector<std::jthread> uploaders;
            for (int i = 0; i < 4; ++i) {
                uploaders.emplace_back([&, server = i % 2 ? &*a : &*b] {
                    auto client = server->client();
                    client->set_keep_alive(true);
                    while (!stop) {
                        const std::string png = site_test::makePng(30, 30, seed++, 200000);
                        const auto answer = client->Post("/api/shots", bearer(token), png, "image/png");
                        if (statusOf(answer) != 200) return;
                        const std::string url = json::parse(answer->body)["url"];
                        std::lock_guard lock(mutex);
                        acknowledged[url.substr(url.find("/s/"))] = png;
                        ++answered;
                    }
                });
            }
            waitFor(8 + round);
            a->kill();
            waitFor(16 + round);  // the other carries on
            stop = true;
        }
    }
    auto survivor = b->client();
    for (const auto& [path, bytes] : acknowledged) {
        const auto served = survivor->Get(path);
        ASSERT_EQ(statusOf(served), 200) << path;
        EXPECT_TRUE(served->body == bytes) << path;
    }
    std::cout << "[ crash    ] " << acknowledged.size() << " acknowledged uploads through two instances\n";
}

// Signed in through one, revoked through the other, refused by the first.
TEST_F(TwoInstances, TokenRevokedThroughOneIsRefusedByTheOther) {
    const std::string token = linkDevice(*a, store, "alice");
    auto first = a->client();
    auto second = b->client();
    EXPECT_EQ(statusOf(first->Get("/api/me", bearer(token))), 200);
    const std::string session = site_test::signIn(*first, "alice", "pw");
    const auto page = second->Get("/account", {{"Cookie", session}});
    ASSERT_EQ(statusOf(page), 200);
    const auto revoked = second->Post(
        "/account/devices/revoke", {{"Cookie", session}},
        httplib::Params{{"form", site_test::formField(page->body, "form")},
                        {"device", site_test::formField(page->body, "device")}});
    EXPECT_EQ(statusOf(revoked), 303);
    EXPECT_EQ(statusOf(first->Get("/api/me", bearer(token))), 401);
}

// What the program and `serve` say for an address that is not PostgreSQL's,
// a database that is down (nothing listens on the socket), one that is
// not there, and one that a newer program has upgraded.
TEST(DatabaseFaults, BadAddressesAndANewerSchemaAreRefusedWithAReason) {
    site_test::ScratchFolder folder;
    site_test::ScratchDatabase database;
    const auto expectRefused = [&](const std::string& url, const std::string& reason) {
        const auto command = site_test::runSite({"news", "add", "t", "b", "--database", url});
        EXPECT_EQ(command.exitCode, 1) << url;
        EXPECT_THAT(command.output, HasSubstr(reason)) << url;
        EXPECT_THAT([&] { SiteProcess(folder.path() / "data", {"--database", url}); },
                    ::testing::ThrowsMessage<std::runtime_error>(HasSubstr(reason)))
            << url;
    };
    expectRefused("mysql://site@db.internal/site", "--database takes a postgresql:// address");
    expectRefused("postgresql://site@/site?host=" + folder.path().string(), "cannot connect to the database");
    expectRefused(site_test::clusterUrl(site_test::testCluster(), "missing"), "cannot connect to the database");

    site_test::addSiteUser(SiteStore::database(database.url()), "alice", "pw");
    database.execute("UPDATE schema_version SET version = version + 1");
    expectRefused(database.url(), "newer than this clipvane-site knows");
}

// While the database is down, requests get 503 with a sentence and the
// sweeps fail without ending the server; once it is back, everything is
// served again and nothing acknowledged is lost.
TEST(DatabaseFaults, DatabaseGoneMidRunGets503AndComesBack) {
    site_test::OwnCluster cluster;
    site_test::ScratchDatabase database(cluster.folder());
    const SiteStore store = SiteStore::database(database.url());
    site_test::addSiteUser(store, "alice", "pw");
    site_test::ScratchFolder folder;
    SiteProcess server(folder.path() / "data",
                       {"--database", database.url(), "--sweep-seconds", "1", "--metrics-listen", "127.0.0.1:0"});
    auto client = server.client();
    const std::string token = linkDevice(server, store, "alice");
    const std::string png = site_test::makePng(20, 20, 7);
    const auto uploaded = client->Post("/api/shots", bearer(token), png, "image/png");
    ASSERT_EQ(statusOf(uploaded), 200);
    const std::string link = json::parse(uploaded->body)["url"].get<std::string>().substr(server.url().size());

    site_test::stopCluster(cluster.folder());
    const auto expectUnavailable = [](const httplib::Result& answer) {
        ASSERT_EQ(statusOf(answer), 503);
        EXPECT_EQ(json::parse(answer->body)["error"], site::messages::kUnavailable);
    };
    expectUnavailable(client->Get("/api/me", bearer(token)));
    expectUnavailable(client->Post("/api/shots", bearer(token), png, "image/png"));
    for (int wait = 0; wait < 200 && server.log().find("sweep failed") == std::string::npos; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_THAT(server.log(), HasSubstr("sweep failed"));
    const auto metrics = httplib::Client("127.0.0.1", server.metricsPort()).Get("/metrics");
    ASSERT_EQ(statusOf(metrics), 200);  // what the server saw, without the store's figures
    EXPECT_THAT(metrics->body, HasSubstr("clipvane_http_requests_total{route=\"api_me\",code=\"503\"} 1\n"));

    site_test::restartCluster(cluster.folder());
    EXPECT_EQ(json::parse(client->Get("/api/me", bearer(token))->body)["used"], 1);
    EXPECT_EQ(client->Get(link)->body, png);
}

}  // namespace
