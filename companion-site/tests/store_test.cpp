// What the store and the shot folder keep across a restart, and how they
// clean up after a crash.

#include <gtest/gtest.h>

#include <fstream>

#include "accounts.h"
#include "quota.h"
#include "secrets.h"
#include "shot_files.h"
#include "store.h"
#include "support/site_harness.h"

namespace {

using site_test::ScratchFolder;

site::Shot shotAt(std::int64_t userId, std::int64_t now) {
    return site::Shot{site::newShotId(), userId, now, now + site::kShotLifetimeSeconds, 10};
}

TEST(Store, ReopenedStoreKeepsEverything) {
    ScratchFolder folder;
    const std::string path = (folder.path() / "site.db").string();
    const std::int64_t now = site_test::kStartTime;
    site::Shot shot;
    {
        site::Store store(path);
        const auto id = site::createUser(store, "alice", "pw", true, now, site_test::kTestIterations);
        store.replaceLinkCode(id, "code-hash", now + 600);
        ASSERT_TRUE(store.redeemLinkCode("code-hash", "token-hash", now));
        shot = shotAt(id, now);
        ASSERT_TRUE(store.addShotWithinLimit(shot, site::utcDay(now), 5));
        store.addNews("t", "b", now);
        store.addSession("session-hash", id, "form", now + 100);
    }
    site::Store store(path);
    const auto user = store.userByToken("token-hash", now);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->name, "alice");
    EXPECT_TRUE(user->pro);
    EXPECT_TRUE(site::checkPassword(store, "alice", "pw"));
    EXPECT_EQ(store.uploadsOn(user->id, site::utcDay(now)), 1);
    EXPECT_EQ(store.shot(shot.id)->expiresAt, shot.expiresAt);
    EXPECT_EQ(store.latestNews(5).size(), 1u);
    EXPECT_EQ(store.session("session-hash", now)->formToken, "form");
    EXPECT_FALSE(store.redeemLinkCode("code-hash", "other", now));
}

TEST(Store, LimitIsCheckedWithTheInsert) {
    site::Store store(":memory:");
    const auto id = site::createUser(store, "alice", "pw", false, 0, site_test::kTestIterations);
    EXPECT_TRUE(store.addShotWithinLimit(shotAt(id, 0), 0, 2));
    EXPECT_TRUE(store.addShotWithinLimit(shotAt(id, 0), 0, 2));
    EXPECT_FALSE(store.addShotWithinLimit(shotAt(id, 0), 0, 2));
    EXPECT_EQ(store.uploadsOn(id, 0), 2);
    EXPECT_EQ(store.shotsOf(id).size(), 2u);
    EXPECT_TRUE(store.addShotWithinLimit(shotAt(id, 86400), 1, 2));
}

TEST(Store, OneLiveCodePerUserAndExpiredOnesForgotten) {
    site::Store store(":memory:");
    const auto id = site::createUser(store, "alice", "pw", false, 0, site_test::kTestIterations);
    const auto other = site::createUser(store, "bob", "pw", false, 0, site_test::kTestIterations);
    store.replaceLinkCode(id, "replaced", 300);
    store.replaceLinkCode(id, "old", 100);
    store.replaceLinkCode(other, "new", 300);
    store.addSession("s-old", id, "f", 100);
    store.forgetExpired(200);
    EXPECT_FALSE(store.redeemLinkCode("replaced", "t0", 50));
    EXPECT_FALSE(store.redeemLinkCode("old", "t1", 50));
    EXPECT_TRUE(store.redeemLinkCode("new", "t2", 200));
    EXPECT_FALSE(store.session("s-old", 50));
}

TEST(Store, BackupIsAWorkingCopy) {
    ScratchFolder folder;
    site::Store store((folder.path() / "site.db").string());
    site::createUser(store, "alice", "pw", false, 0, site_test::kTestIterations);
    store.backupTo((folder.path() / "copy.db").string());
    site::Store copy((folder.path() / "copy.db").string());
    EXPECT_TRUE(site::checkPassword(copy, "alice", "pw"));
}

TEST(Accounts, NamesAndPasswordsAreChecked) {
    site::Store store(":memory:");
    for (const char* bad : {"", "with space", "имя", "a/b", "toolongtoolongtoolongtoolongtoolong"})
        EXPECT_THROW(site::createUser(store, bad, "pw", false, 0, 1), std::runtime_error) << bad;
    EXPECT_THROW(site::createUser(store, "alice", "", false, 0, 1), std::runtime_error);
    site::createUser(store, "alice", "pw", false, 0, site_test::kTestIterations);
    EXPECT_THROW(site::createUser(store, "alice", "pw", false, 0, 1), std::runtime_error);
    EXPECT_FALSE(site::checkPassword(store, "alice", "PW"));
    EXPECT_FALSE(site::checkPassword(store, "Alice", "pw"));
    EXPECT_FALSE(site::checkPassword(store, "alice", std::string(2000, 'x')));
    const std::string generated = site::generatePassword();
    EXPECT_EQ(generated.size(), 16u);
    EXPECT_NE(generated, site::generatePassword());
}

TEST(ShotFiles, WrittenFilesReadBackAndStraysAreRemoved) {
    ScratchFolder folder;
    site::ShotFiles files(folder.path(), true);
    const std::string kept = site::newShotId();
    const std::string orphan = site::newShotId();
    site_test::storeShot(files, kept, std::string("\x89PNG\0data", 9));
    site_test::storeShot(files, orphan, "x");
    {
        auto dropped = files.receive();  // an upload refused halfway leaves nothing
        dropped->write("half");
    }
    std::ofstream(folder.path() / "incoming-0011223344556677") << "half";
    std::ofstream(folder.path() / "README") << "not ours";
    EXPECT_EQ(site_test::shotBytes(files, kept), std::string("\x89PNG\0data", 9));
    EXPECT_EQ(files.removeStrays([&](const std::string& id) { return id == kept; }), 2);
    EXPECT_EQ(site_test::shotBytes(files, kept), std::string("\x89PNG\0data", 9));
    EXPECT_EQ(site_test::shotBytes(files, orphan), "(none)");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "incoming-0011223344556677"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "README"));
    files.remove(kept);
    EXPECT_EQ(site_test::shotBytes(files, kept), "(none)");
}

}  // namespace
