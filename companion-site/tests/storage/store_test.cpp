// The store's rules, with the same test bodies for SQLite and PostgreSQL:
// what each operation checks, the checks that must hold with several
// connections at once (as several processes have) and the shots' bytes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <thread>

#include "security/sign_in_throttle.h"
#include "support/test_store.h"
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
    std::string alicePassword = store->passwordOf("alice")->hash;
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
    store->replaceLinkCode(alice, "replaced", 300, "");
    store->replaceLinkCode(alice, "old", 100, "");
    store->replaceLinkCode(bob, "new", 300, "");
    store->addSession("s-old", alice, "f", 100, alicePassword);
    store->forgetExpired(200);
    EXPECT_FALSE(store->redeemLinkCode("replaced", "t0", 50));
    EXPECT_FALSE(store->redeemLinkCode("old", "t1", 50));
    EXPECT_TRUE(store->redeemLinkCode("new", "t2", 200));
    EXPECT_FALSE(store->redeemLinkCode("new", "t3", 200));
    store->replaceLinkCode(bob, "edge", 400, "");
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
        store->replaceLinkCode(alice, "c" + device, kNow + 600, "");
        ASSERT_TRUE(store->redeemLinkCode("c" + device, "t" + device, kNow));
    }
    store->userByToken("t1", kNow + site::kLastSeenStep - 1, 0);
    store->userByToken("t2", kNow + site::kLastSeenStep, 0);
    const auto devices = store->devicesOf(alice);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].lastSeenAt, kNow);
    EXPECT_EQ(devices[1].lastSeenAt, kNow + site::kLastSeenStep);
    EXPECT_FALSE(store->revokeDevice(bob, devices[0].id));
    EXPECT_TRUE(store->revokeDevice(alice, devices[0].id));
    EXPECT_FALSE(store->userByToken("t1", kNow, 0));

    store->addSession("s", alice, "f", kNow + 10, alicePassword);
    EXPECT_TRUE(store->session("s", kNow + 9));
    EXPECT_FALSE(store->session("s", kNow + 10));
    store->deleteSession("s");
    EXPECT_FALSE(store->session("s", kNow));
}

// What a sign-in or a session made on the password a change replaces does
// not outlive the change: a session stored after it, a code from before it
// or one asked for by a session it ended.
TEST_P(StoreTest, NothingMadeOnAReplacedPasswordOutlivesTheChange) {
    for (const char* session : {"changing", "ended"})
        ASSERT_TRUE(store->addSession(session, alice, "f", kNow + 60, alicePassword));
    ASSERT_TRUE(store->replaceLinkCode(alice, "before", kNow + 60, "ended"));
    site::setPassword(*store, alice, "new", "changing", site_test::kTestIterations);
    EXPECT_FALSE(store->addSession("late", alice, "f", kNow + 60, alicePassword));
    EXPECT_FALSE(store->session("late", kNow));
    EXPECT_FALSE(store->replaceLinkCode(alice, "late", kNow + 60, "ended"));
    EXPECT_FALSE(store->redeemLinkCode("before", "t1", kNow));
    EXPECT_FALSE(store->redeemLinkCode("late", "t2", kNow));
    EXPECT_TRUE(store->replaceLinkCode(alice, "kept", kNow + 60, "changing"));
    EXPECT_TRUE(store->addSession("new", alice, "f", kNow + 60, store->passwordOf("alice")->hash));
}

// A name no account can have, typed at sign-in, is answered like a wrong
// password however often it is tried: never a throttle key nor a query.
TEST_P(StoreTest, ImpossibleNamesAtSignInAreWrongPasswords) {
    site::ShotFiles files{place.dataFolder(), false};
    site::Site site{*store, files, [] { return kNow; }, site_test::kPublicUrl, site_test::kTestIterations};
    const std::string form = site::newSecret();
    for (const std::string& name : {std::string("%FF"), std::string(33, 'a')}) {
        for (int i = 0; i <= site::kFreeFailures; ++i) {
            auto request = site_test::request("POST", "/account/sign-in", "form=" + form + "&user=" + name + "&password=pw");
            request.headers["cookie"] = std::string(site::kSignInCookie) + "=" + form;
            request.remoteAddress = "203.0.113." + std::to_string(i);
            EXPECT_EQ(site.handle(request).status, 401) << name << " " << i;
        }
    }
}

// The program's profile is answered on the connection's thread only while
// its lookup need not wait; else a worker answers it: when the device's
// last-seen time is due, while an upload holds the store, and always on
// PostgreSQL.
TEST_P(StoreTest, ProfileIsAnsweredAtOnceOnlyWithoutAWait) {
    site::ShotFiles files{place.dataFolder(), false};
    std::atomic<std::int64_t> now = kNow;
    site::Site site{*store, files, [&] { return now.load(); }, site_test::kPublicUrl, site_test::kTestIterations};
    const std::string token = site::newSecret();
    store->replaceLinkCode(alice, "code", kNow + 600, "");
    ASSERT_TRUE(store->redeemLinkCode("code", site::sha256Hex(token), kNow));
    auto me = site_test::request("GET", "/api/me");
    me.headers["authorization"] = "Bearer " + token;
    if (GetParam() == StoreKind::Postgres) {
        EXPECT_FALSE(site.quickAnswer(me));
        return;
    }
    EXPECT_EQ(site_test::member(site.quickAnswer(me).value(), "username"), "alice");
    now += site::kLastSeenStep;
    EXPECT_FALSE(site.quickAnswer(me));
    ASSERT_EQ(site.handle(me).status, 200);  // a worker moves it

    // Another process writes the file, so the upload holds the store.
    site::Connection writer((place.dataFolder() / "site.db").string());
    writer.exec("BEGIN IMMEDIATE");
    auto upload = std::async(std::launch::async, [&] {
        return store->addShotWithinLimit(shotAt(alice, kNow), site::utcDay(kNow), 30);
    });
    bool stoodAside = false;
    while (!stoodAside && upload.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        stoodAside = !site.quickAnswer(me);
    writer.exec("COMMIT");
    EXPECT_TRUE(stoodAside);
    EXPECT_TRUE(upload.get());
}

// The account waits after ten failures, twice as long after each more, up to
// ten minutes; a try while it waits is refused and not counted; a success or
// a quiet quarter of an hour starts anew.
TEST_P(StoreTest, FailedSignInsMakeTheAccountWait) {
    const auto throttle = store->failedSignIns();
    std::int64_t now = kNow;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(throttle->attempt("bob", now), 0) << i;
    for (const std::int64_t wait : {30, 60, 120, 240, 480, 600, 600}) {
        EXPECT_EQ(throttle->attempt("bob", now + 10), wait - 10);
        now += wait;
        EXPECT_EQ(throttle->attempt("bob", now), 0) << wait;
    }
    now += site::kFailureMemorySeconds;
    EXPECT_EQ(throttle->attempt("bob", now), 0);
    EXPECT_EQ(throttle->attempt("bob", now), 0);
    for (int i = 0; i < site::kFreeFailures; ++i) throttle->attempt("carol", now);
    throttle->succeeded("carol");
    EXPECT_EQ(throttle->attempt("carol", now), 0);
}

// Two stores on one database, as two processes would have: 50 uploads
// against a limit of 30, eight redeems of one code, 50 sign-in tries at
// one moment once the first wait is over, a revoke seen by the other, two
// sweeps.
TEST_P(StoreTest, ChecksHoldAcrossConnections) {
    const auto other = place.open();
    site::Store* const both[] = {store.get(), other.get()};
    store->replaceLinkCode(alice, "one-code", kNow + 600, "");
    const std::unique_ptr<site::FailedSignIns> throttles[] = {store->failedSignIns(), other->failedSignIns()};
    for (const auto& throttle : throttles)
        for (int i = 0; i < site::kFreeFailures; ++i) throttle->attempt("alice", kNow);
    std::atomic<int> added{0}, linked{0}, tried{0};
    std::latch together{50};
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < 50; ++i) {
            threads.emplace_back([&, i] {
                site::Store& mine = *both[i % 2];
                if (mine.addShotWithinLimit(shotAt(alice, kNow - site::kShotLifetimeSeconds), 0, 30)) ++added;
                if (i < 8 && mine.redeemLinkCode("one-code", "token-" + std::to_string(i), kNow)) ++linked;
                together.arrive_and_wait();
                if (throttles[i % 2]->attempt("alice", kNow + site::kFirstWaitSeconds) == 0) ++tried;
            });
        }
    }
    EXPECT_EQ(added, 30);
    EXPECT_EQ(other->uploadsOn(alice, 0), 30);
    EXPECT_EQ(linked, 1);
    // One process keeps its own count in memory; a shared database one count.
    EXPECT_EQ(tried, GetParam() == StoreKind::Postgres ? 1 : 2);
    ASSERT_EQ(other->devicesOf(alice).size(), 1u);
    EXPECT_TRUE(other->revokeDevice(alice, store->devicesOf(alice).at(0).id));
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(store->userByToken("token-" + std::to_string(i), kNow, 0)) << i;
    std::vector<std::string> swept[2];
    {
        std::jthread first([&] { swept[0] = store->takeExpiredShots(kNow); });
        std::jthread second([&] { swept[1] = other->takeExpiredShots(kNow); });
    }
    EXPECT_EQ(swept[0].size() + swept[1].size(), 30u);
    EXPECT_TRUE(store->shotsOf(alice).empty());
}

// On PostgreSQL a failure counted by another instance while a check waits
// for the account's row is seen by that check: checking and counting are
// one step, however the guesses of several instances interleave.
TEST(SharedSignInThrottle, ACheckWaitsForACountUnderWayElsewhere) {
    const site_test::TestStore place(StoreKind::Postgres);
    const auto store = place.open();
    const auto throttle = store->failedSignIns();
    for (int i = 0; i < site::kFreeFailures; ++i) throttle->attempt("alice", kNow);
    site::PgConnection elsewhere(place.databaseUrl());
    elsewhere.exec("BEGIN; SELECT 1 FROM sign_in_failures WHERE name = 'alice' FOR UPDATE");
    const std::int64_t later = kNow + site::kFirstWaitSeconds;
    std::int64_t wait = -1;
    std::jthread check([&] { wait = throttle->attempt("alice", later); });
    ASSERT_TRUE(site_test::someoneWaitsForALock(place.databaseUrl()));
    elsewhere.exec(("UPDATE sign_in_failures SET failures = failures + 1, last_at = " + std::to_string(later) +
                    "; COMMIT").c_str());
    check.join();
    EXPECT_GT(wait, 0);
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
