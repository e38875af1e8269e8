// The operator's commands, run as the real program on both stores, and
// what they say of a store they cannot use.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "support/site_process.h"
#include "web/accounts.h"

namespace {

using site_test::StoreKind;
using ::testing::HasSubstr;

struct CommandTest : ::testing::TestWithParam<StoreKind> {
    site_test::TestStore place{GetParam()};

    site_test::ProgramResult run(std::vector<std::string> arguments, const std::string& input = "") const {
        const auto store = place.programArguments();
        arguments.insert(arguments.end(), store.begin(), store.end());
        return site_test::runSite(arguments, input);
    }
};

INSTANTIATE_TEST_SUITE_P(Both, CommandTest, ::testing::Values(StoreKind::Sqlite, StoreKind::Postgres),
                         ::testing::PrintToStringParamName());

// Each command against a running site: what it says and does; a password
// reset ends every session and leaves the devices linked; a removed user is
// gone at once with all it had.
TEST_P(CommandTest, EachCommandSaysWhatItDidOrWhyNot) {
    place.addUser("alice", "old pw");
    place.addUser("bob", "pw", true);
    ASSERT_EQ(run({"news", "add", "Первая", "текст"}).exitCode, 0);
    site_test::SiteProcess server(place.dataFolder(), place.programArguments());
    auto client = server.client();
    const auto upload = [&](const std::string& token) {
        return site_test::linkPath(site_test::uploadShot(*client, token, site_test::makePng(8, 8, 1)));
    };
    const std::string aliceToken = site_test::linkDevice(server, place, "alice");
    const std::string aliceShot = upload(aliceToken), bobShot = upload(site_test::linkDevice(server, place, "bob"));
    const auto before = place.open();
    const auto signIn = [&](const std::string& session) {
        const auto alice = before->passwordOf("alice");
        before->addSession(session, alice->user.id, "form", std::time(nullptr) + 3600, alice->hash);
    };
    const auto signedIn = [&](const std::string& session) { return before->session(session, std::time(nullptr)).has_value(); };
    signIn("first");
    const struct {
        std::vector<std::string> arguments;
        std::string input;
        int exitCode;
        const char* output;  // a pattern
    } cases[] = {
        {{"user", "list"}, "", 0, "alice +FREE +1 +1 +1  20[0-9-]+ [0-9:]+ UTC\nbob +PRO +1 +1 +1 "},
        {{"user", "add", "--help"}, "", 0, "--password-file FILE"},
        {{"user", "add", "alice", "--password-file", "-"}, "x\n", 1, "the user alice already exists"},
        {{"user", "add", "carol"}, "", 0, "password: [A-Za-z0-9]{16}\n"},
        {{"code", "nobody"}, "", 1, "no user nobody"},
        {{"user", "set", "alice", "--pro"}, "", 0, "^alice is now PRO\n$"},
        {{"user", "set", "bob", "--free"}, "", 0, "^bob is now FREE\n$"},
        {{"user", "password", "alice", "--password-file", "-"}, "new pw\n", 0,
         "^new password for alice, every session of alice ended\n$"},
        {{"user", "password", "alice", "--password-file", "-"}, "\n", 1, "1 to 1024 bytes"},
        {{"user", "remove", "bob"}, "", 1, "add --yes"},
        {{"news", "list"}, "", 0, "^1  20[0-9-]+ [0-9:]+ UTC  Первая\n$"},
        {{"news", "remove", "1"}, "", 0, "^removed news item 1\n$"},
        {{"news", "list"}, "", 0, "^no news\n$"},
    };
    for (const auto& c : cases) {
        const auto result = run(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[1] << ' ' << c.arguments.back() << ": " << result.output;
        EXPECT_TRUE(std::regex_search(result.output, std::regex(c.output))) << result.output;
    }
    const auto after = place.open();
    EXPECT_TRUE(after->userByName("alice")->pro);
    EXPECT_FALSE(after->userByName("bob")->pro);
    EXPECT_FALSE(signedIn("first"));
    EXPECT_EQ(client->Get("/api/me", site_test::bearer(aliceToken))->status, 200);

    signIn("second");
    const auto removed = run({"user", "remove", "alice", "--yes"});
    EXPECT_EQ(removed.output, "removed alice with 1 shot and 1 device\n");
    EXPECT_EQ(client->Get(aliceShot)->status, 404);
    EXPECT_EQ(client->Get(bobShot)->status, 200);
    EXPECT_EQ(client->Get("/api/me", site_test::bearer(aliceToken))->status, 401);
    EXPECT_FALSE(signedIn("second"));
    EXPECT_FALSE(after->shotStorage(place.dataFolder() / "shots")->open(aliceShot.substr(3)));
    EXPECT_EQ(run({"user", "list"}).output.find("alice"), std::string::npos);
    EXPECT_EQ(run({"user", "remove", "alice", "--yes"}).exitCode, 1);
}

// A SQLite store backed up by the command opens as a working copy.
TEST(Commands, ABackupWorks) {
    const site_test::TestStore place(StoreKind::Sqlite);
    place.addUser("alice", "pw");
    const auto copy = place.dataFolder().parent_path() / "copy.db";
    EXPECT_EQ(site_test::runSite({"backup", copy.string(), "--data", place.dataFolder().string()}).exitCode, 0);
    site::SqliteStore store(copy.string());
    EXPECT_TRUE(site::checkPassword(store, "alice", "pw"));
}

// What the program says for an address that is not PostgreSQL's and for a
// database that is down (nothing listens on the socket); `serve` opens its
// store the same way.
TEST(DatabaseFaults, BadAddressesAreRefusedWithAReason) {
    site_test::ScratchFolder folder;
    const auto expectRefused = [&](const std::string& url, const std::string& reason) {
        const auto command = site_test::runSite({"news", "add", "t", "b", "--database", url});
        EXPECT_EQ(command.exitCode, 1) << url;
        EXPECT_THAT(command.output, HasSubstr(reason)) << url;
    };
    expectRefused("mysql://site@db.internal/site", "--database takes a postgresql:// address");
    expectRefused("postgresql://site@/site?host=" + folder.path().string(), "cannot connect to the database");
}

}  // namespace
