// The store's rules, with the same test bodies for SQLite and PostgreSQL:
// what each operation checks, the checks that must hold with several
// connections at once (as several processes have) and the shots' bytes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "security/secrets.h"
#include "security/sign_in_throttle.h"
#include "support/site_harness.h"
#include "support/test_png.h"
#include "support/test_store.h"
#include "web/accounts.h"
#include "web/quota.h"

namespace {

using site_test::StoreKind;
constexpr std::int64_t kNow = site_test::kStartTime;

site::Shot shotAt(std::int64_t userId, std::int64_t now) {
    return site::Shot{site::newShotId(), userId, now, now + site::kShotLifetimeSeconds, 10};
}

struct StoreTest : ::testing::TestWithParam<StoreKind> {
    site_test::TestStore place{GetParam()};
    std::unique_ptr<site::Store> store = place.open();
    std::int64_t alice = site::createUser(*store, "alice", "pw", true, kNow, site_test::kTestIterations);
};

INSTANTIATE_TEST_SUITE_P(Both, StoreTest, ::testing::Values(StoreKind::Sqlite, StoreKind::Postgres),
                         ::testing::PrintToStringParamName());

// A database a newer version has written is left alone, not written in a
// layout this version does not know.
TEST_P(StoreTest, NewerSchemaIsRefused) {
    store.reset();
    place.execute("UPDATE schema_version SET version = version + 1");
    EXPECT_THAT([&] { place.open(); },
                ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("newer than this clipvane-site knows")));
}

TEST_P(StoreTest, OneLiveCodePerUserAndExpiredOnesForgotten) {
    const auto bob = site::createUser(*store, "bob", "pw", false, 0, site_test::kTestIterations);
    store->replaceLinkCode(alice, "replaced", 300);
    store->replaceLinkCode(alice, "old", 100);
    store->replaceLinkCode(bob, "new", 300);
    store->addSession("s-old", alice, "f", 100);
    store->forgetExpired(200);
    EXPECT_FALSE(store->redeemLinkCode("replaced", "t0", 50));
    EXPECT_FALSE(store->redeemLinkCode("old", "t1", 50));
    EXPECT_TRUE(store->redeemLinkCode("new", "t2", 200));
    EXPECT_FALSE(store->redeemLinkCode("new", "t3", 200));
    store->replaceLinkCode(bob, "edge", 400);
    EXPECT_FALSE(store->redeemLinkCode("edge", "t4", 400));  // in the second it expires
    EXPECT_FALSE(store->session("s-old", 50));
}

TEST_P(StoreTest, OwnersOrderAndLastSeen) {
    const auto bob = site::createUser(*store, "bob", "pw", false, kNow, site_test::kTestIterations);
    const site::Shot older = shotAt(alice, kNow), newer = shotAt(alice, kNow + 5);
    ASSERT_TRUE(store->addShotWithinLimit(older, 0, 9) && store->addShotWithinLimit(newer, 0, 9));
    EXPECT_EQ(store->shotsOf(alice).front().id, newer.id);
    EXPECT_FALSE(store->deleteShot(bob, older.id));
    EXPECT_TRUE(store->deleteShot(alice, older.id));

    for (const std::string device : {"1", "2"}) {
        store->replaceLinkCode(alice, "c" + device, kNow + 600);
        ASSERT_TRUE(store->redeemLinkCode("c" + device, "t" + device, kNow));
    }
    store->userByToken("t1", kNow + site::kLastSeenStep - 1);
    store->userByToken("t2", kNow + site::kLastSeenStep);
    const auto devices = store->devicesOf(alice);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].lastSeenAt, kNow);
    EXPECT_EQ(devices[1].lastSeenAt, kNow + site::kLastSeenStep);
    EXPECT_FALSE(store->revokeDevice(bob, devices[0].id));
    EXPECT_TRUE(store->revokeDevice(alice, devices[0].id));
    EXPECT_FALSE(store->userByToken("t1", kNow));

    store->addSession("s", alice, "f", kNow + 10);
    EXPECT_TRUE(store->session("s", kNow + 9));
    EXPECT_FALSE(store->session("s", kNow + 10));
    store->deleteSession("s");
    EXPECT_FALSE(store->session("s", kNow));
}

// The account waits after ten failures, twice as long after each more, up to
// ten minutes; a success or a quiet quarter of an hour starts anew.
TEST_P(StoreTest, FailedSignInsMakeTheAccountWait) {
    const auto throttle = store->failedSignIns();
    const std::pair<int, std::int64_t> failuresAndWait[] = {{9, 0}, {10, 30}, {11, 60}, {15, 600}, {40, 600}};
    for (const auto& [failures, wait] : failuresAndWait) {
        const std::string name = "user" + std::to_string(failures);
        for (int i = 0; i < failures; ++i) throttle->failed(name, kNow);
        EXPECT_EQ(throttle->waitFor(name, kNow + 10), std::max<std::int64_t>(wait - 10, 0)) << failures;
        EXPECT_EQ(throttle->waitFor(name, kNow + wait), 0) << failures;
    }
    throttle->failed("user40", kNow + site::kFailureMemorySeconds);
    EXPECT_EQ(throttle->waitFor("user40", kNow + site::kFailureMemorySeconds), 0);
    throttle->succeeded("user15");
    EXPECT_EQ(throttle->waitFor("user15", kNow), 0);
}

// Two stores on one database, as two processes would have: 50 uploads
// against a limit of 30, eight redeems of one code, a revoke seen by the
// other, two sweeps.
TEST_P(StoreTest, ChecksHoldAcrossConnections) {
    const auto other = place.open();
    site::Store* const both[] = {store.get(), other.get()};
    store->replaceLinkCode(alice, "one-code", kNow + 600);
    std::atomic<int> added{0}, linked{0};
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < 50; ++i) {
            threads.emplace_back([&, i] {
                site::Store& mine = *both[i % 2];
                if (mine.addShotWithinLimit(shotAt(alice, kNow - site::kShotLifetimeSeconds), 0, 30)) ++added;
                if (i < 8 && mine.redeemLinkCode("one-code", "token-" + std::to_string(i), kNow)) ++linked;
            });
        }
    }
    EXPECT_EQ(added, 30);
    EXPECT_EQ(other->uploadsOn(alice, 0), 30);
    EXPECT_EQ(linked, 1);
    ASSERT_EQ(other->devicesOf(alice).size(), 1u);
    EXPECT_TRUE(other->revokeDevice(alice, store->devicesOf(alice).at(0).id));
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(store->userByToken("token-" + std::to_string(i), kNow)) << i;
    std::vector<std::string> swept[2];
    {
        std::jthread first([&] { swept[0] = store->takeExpiredShots(kNow); });
        std::jthread second([&] { swept[1] = other->takeExpiredShots(kNow); });
    }
    EXPECT_EQ(swept[0].size() + swept[1].size(), 30u);
    EXPECT_TRUE(store->shotsOf(alice).empty());
}

// Bytes read back whole (in pieces, in the database); an upload dropped
// halfway leaves nothing; bytes without a row are strays, in the database
// only after an hour, since another instance may be about to add the row.
TEST_P(StoreTest, ShotBytesReadBackAndStraysGo) {
    const auto shots = store->shotStorage(place.dataFolder());
    const std::string big = site_test::makePng(8, 8, 1, 2621440), kept = site::newShotId(), stray = site::newShotId();
    site_test::storeShot(*shots, kept, big);
    site_test::storeShot(*shots, stray, "x");
    shots->receive()->write("half");
    ASSERT_TRUE(store->addShotWithinLimit({kept, alice, 0, 1, 1}, 0, 1));
    EXPECT_TRUE(site_test::shotBytes(*shots, kept) == big);
    const auto known = [&](const std::string& id) { return store->hasShot(id); };
    if (GetParam() == StoreKind::Postgres) {
        EXPECT_EQ(shots->removeStrays(known), 0);
        place.execute("UPDATE shot_chunks SET stored_at = stored_at - 3601");
    }
    EXPECT_EQ(shots->removeStrays(known), 1);
    EXPECT_EQ(site_test::shotBytes(*shots, stray), "(none)");
}

}  // namespace
