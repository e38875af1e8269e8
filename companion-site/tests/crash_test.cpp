// The server killed with SIGKILL in the middle of a stream of uploads, round
// after round, on either store: every upload that got a link survives byte
// for byte, no half-written shot is ever served, and the day's count matches
// the shots.

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "png_check.h"
#include "quota.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"
#include "support/test_store.h"

namespace {

constexpr int kRounds = 6;
constexpr int kUploaders = 4;
constexpr int kAnswersBeforeKill = 12;

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
            const std::string png =
                site_test::makePng(40 + static_cast<int>(mine % 17), 30, mine, 20000 + (mine % 5) * 30000);
            const std::string link = site_test::linkPath(site_test::uploadShot(*client, token, png));
            if (link == "(none)") return;
            std::lock_guard lock(mutex);
            acknowledged[link] = png;
            grew.notify_all();
        }
    }
};

using site_test::StoreKind;

struct CrashSafety : ::testing::TestWithParam<StoreKind> {};

INSTANTIATE_TEST_SUITE_P(Both, CrashSafety, ::testing::Values(StoreKind::Sqlite, StoreKind::Postgres),
                         ::testing::PrintToStringParamName());

TEST_P(CrashSafety, KilledServerLosesNothingAcknowledged) {
    const site_test::TestStore place(GetParam());
    const site_test::SiteStore store(place);
    const auto data = place.dataFolder();
    site_test::addSiteUser(store, "heavy", "pw", true);
    const std::string token = site_test::linkDevice(site_test::SiteProcess(data, store.arguments), store, "heavy");

    Uploads uploads;
    for (int round = 0; round < kRounds; ++round) {
        site_test::SiteProcess server(data, store.arguments);
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

    site_test::SiteProcess server(data, store.arguments);
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

    // Only complete files of known shots are left in the folder.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "shots")) {
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
        EXPECT_TRUE(opened->hasShot(entry.path().stem().string())) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(shots.size()));
}

}  // namespace
