// The server killed with SIGKILL in the middle of a stream of uploads, round
// after round: every upload that got a link survives byte for byte, no
// half-written shot is ever served, and the day's count matches the shots.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "png_check.h"
#include "quota.h"
#include "sqlite_store.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"

namespace {

using nlohmann::json;

constexpr int kRounds = 8;
constexpr int kUploaders = 4;
constexpr int kAnswersBeforeKill = 12;

struct Acknowledged {
    std::mutex mutex;
    std::condition_variable grew;
    std::map<std::string, std::string> linkToBytes;  // path of the link -> uploaded bytes
    int thisRound = 0;
};

// Uploads distinct PNGs until the server stops answering.
void uploadUntilCut(const site_test::SiteProcess& server, const std::string& token, std::atomic<std::uint32_t>& seed,
                    Acknowledged& acknowledged, std::set<std::string>& sent, std::mutex& sentMutex) {
    auto client = server.client();
    client->set_keep_alive(true);
    for (;;) {
        const std::uint32_t mine = seed++;
        const std::string png = site_test::makePng(40 + static_cast<int>(mine % 17), 30, mine, 20000 + (mine % 5) * 30000);
        {
            std::lock_guard lock(sentMutex);
            sent.insert(png);
        }
        const auto answer = client->Post("/api/shots", site_test::bearer(token), png, "image/png");
        if (!answer || answer->status != 200) return;
        const std::string url = json::parse(answer->body)["url"];
        std::lock_guard lock(acknowledged.mutex);
        acknowledged.linkToBytes[url.substr(url.find("/s/"))] = png;
        ++acknowledged.thisRound;
        acknowledged.grew.notify_all();
    }
}

TEST(CrashSafety, KilledServerLosesNothingAcknowledged) {
    site_test::ScratchFolder folder;
    const auto data = folder.path() / "data";
    site_test::addSiteUser(data, "heavy", "pw", true);
    const std::string token = site_test::linkDevice(site_test::SiteProcess(data), data, "heavy");

    Acknowledged acknowledged;
    std::set<std::string> sent;  // every body ever sent, acknowledged or not
    std::mutex sentMutex;
    std::atomic<std::uint32_t> seed{1};
    for (int round = 0; round < kRounds; ++round) {
        site_test::SiteProcess server(data);
        acknowledged.thisRound = 0;
        std::vector<std::thread> uploaders;
        for (int i = 0; i < kUploaders; ++i)
            uploaders.emplace_back([&] { uploadUntilCut(server, token, seed, acknowledged, sent, sentMutex); });
        {
            // Killed while the uploaders keep sending, at a different count each round.
            std::unique_lock lock(acknowledged.mutex);
            acknowledged.grew.wait(lock, [&] { return acknowledged.thisRound >= kAnswersBeforeKill + round; });
        }
        server.kill();
        for (auto& uploader : uploaders) uploader.join();
    }

    site_test::SiteProcess server(data);
    auto client = server.client();
    for (const auto& [path, bytes] : acknowledged.linkToBytes) {
        const auto served = client->Get(path);
        ASSERT_TRUE(served) << path;
        EXPECT_EQ(served->status, 200) << path;
        EXPECT_TRUE(served->body == bytes) << path;
    }

    site::SqliteStore store((data / "site.db").string());
    const auto user = store.userByName("heavy");
    ASSERT_TRUE(user);
    const auto shots = store.shotsOf(user->id);
    EXPECT_GE(shots.size(), acknowledged.linkToBytes.size());
    std::map<std::int64_t, int> shotsPerDay;
    for (const auto& shot : shots) {
        const auto served = client->Get("/s/" + shot.id);
        ASSERT_TRUE(served);
        EXPECT_EQ(served->status, 200) << shot.id;
        EXPECT_EQ(site::checkPng(served->body), site::PngProblem::None) << shot.id;
        EXPECT_EQ(sent.count(served->body), 1u) << shot.id;
        EXPECT_EQ(static_cast<std::int64_t>(served->body.size()), shot.size) << shot.id;
        ++shotsPerDay[site::utcDay(shot.createdAt)];
    }
    for (const auto& [day, count] : shotsPerDay) EXPECT_EQ(store.uploadsOn(user->id, day), count) << day;

    // Only complete files of known shots are left in the folder.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "shots")) {
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
        EXPECT_TRUE(store.hasShot(entry.path().stem().string())) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(shots.size()));
    std::cout << "[ crash    ] " << kRounds << " rounds, " << acknowledged.linkToBytes.size() << " acknowledged uploads, "
              << shots.size() << " stored shots\n";
}

}  // namespace
