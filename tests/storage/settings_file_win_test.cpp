// The settings file on a real Windows file system: each test has its own
// folder under the temporary directory, never the user's own settings.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "app/app_state.h"
#include "app/win_handles.h"
#include "storage/capture_history.h"
#include "storage/settings.h"
#include "storage/text.h"
#include "support/file_bytes.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using testsupport::readFile;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

UniqueHandle holdWithoutSharing(const fs::path& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (L"clipvane-settings-" + toWide(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        path_ = folder_ / L"Clipvane" / L"settings.json";
        app.settingsDoc = json::object();
        app.siteAddress = kDefaultSiteAddressW;
        app.token.clear();
        app.keepUnreadableSettings = false;
        app.statusLine = L"начало";
    }
    void TearDown() override {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(folder_);
    }
    void load() { loadSettingsFromPath(path_.wstring()); }
    fs::path aside(const char* suffix) const { return fs::path(path_.wstring() + toWide(suffix)); }
    void expectSaveRefused() {
        EXPECT_FALSE(saveSettings());
        EXPECT_EQ(app.statusLine, L"Не удалось сохранить настройки на диск");
    }

    fs::path folder_;
    fs::path path_;
};

TEST_F(SettingsFile, FirstStartWritesNothingUntilTheFirstCaptureWhichKeepsTheWeek) {
    load();
    EXPECT_EQ(app.siteAddress, L"https://clip.example");
    EXPECT_FALSE(fs::exists(folder_));

    app.settingsDoc["captures"][dayKey(-6)] = 2;
    recordCapture();
    json written = json::parse(readFile(path_));
    EXPECT_EQ(written["server"], "https://clip.example");
    EXPECT_EQ(written["captures"], json({{dayKey(-6), 2}, {dayKey(0), 1}}));
    EXPECT_EQ(app.statusLine, L"начало");
}

TEST_F(SettingsFile, CyrillicTokenIsProtectedOnDiskAndComesBackAfterReload) {
    load();
    const std::string token = toUtf8(L"ключ-доступа-42");
    EXPECT_TRUE(setToken(token));
    std::string text = readFile(path_);
    EXPECT_EQ(text.find(token), std::string::npos);
    EXPECT_GT(json::parse(text)["token"].size(), token.size());

    app.token.clear();
    load();
    EXPECT_EQ(app.token, token);
    EXPECT_TRUE(setToken(""));
    EXPECT_FALSE(json::parse(readFile(path_)).contains("token"));
}

TEST_F(SettingsFile, UnknownMembersAndAnotherUsersTokenSurviveSavesByteForByte) {
    const std::string original =
        "{\n  \"future\": {\n    \"x\": [\n      true,\n      \"ё\"\n    ]\n  },\n"
        "  \"server\": \"https://other.example:8443\",\n  \"token\": [\n    1,\n    2,\n    3\n  ]\n}";
    writeFile(path_, original);
    load();
    EXPECT_EQ(app.siteAddress, L"https://other.example:8443");
    EXPECT_TRUE(app.token.empty());  // the bytes do not unprotect for this user
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(path_), original);
}

TEST_F(SettingsFile, UnreadableFileIsKeptAsideOnceBeforeTheFirstSaveOverIt) {
    const std::string broken = "{\"captures\": {\"2026-01-01\": 5}, \"token\": [1, 2, 3],";
    writeFile(path_, broken);
    writeFile(aside(".bad"), "older");  // kept at an earlier start
    load();
    EXPECT_EQ(app.settingsDoc, json::object());
    recordCapture();
    EXPECT_EQ(readFile(aside(".bad")), "older");
    EXPECT_EQ(readFile(aside(".bad2")), broken);
    recordCapture();
    EXPECT_FALSE(fs::exists(aside(".bad3")));
}

// Copying or writing a document recurses once per level; the test program
// has the 1 MiB main-thread stack of Windows programs.
TEST_F(SettingsFile, DeeplyNestedFileIsKeptAsideAndSavingSurvives) {
    const std::string deep = "{\"captures\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    writeFile(path_, deep);
    load();
    EXPECT_EQ(app.settingsDoc, json::object());
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(aside(".bad")), deep);
}

TEST_F(SettingsFile, AFileHeldAtStartIsNeitherReplacedNorLostLater) {
    const std::string original = R"({"captures": {"2026-01-01": 5}, "server": "https://a.example"})";
    writeFile(path_, original);
    {
        UniqueHandle held = holdWithoutSharing(path_);
        ASSERT_TRUE(held);
        load();
        expectSaveRefused();
    }
    EXPECT_EQ(readFile(path_), original);
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(aside(".bad")), original);
}

TEST_F(SettingsFile, LockedOrReadOnlyFileIsLeftAloneAndTheChangeKept) {
    const std::string original = R"({"server": "https://a.example"})";
    writeFile(path_, original);
    load();
    app.siteAddress = L"https://b.example";
    {
        UniqueHandle lock = holdWithoutSharing(path_);
        ASSERT_TRUE(lock);
        expectSaveRefused();
    }
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    expectSaveRefused();
    EXPECT_EQ(app.settingsDoc["server"], "https://b.example");  // kept for a later save
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readFile(path_), original);
}

TEST_F(SettingsFile, ReplacementThatFailsAfterKeepingAsideLeavesTheFileInPlace) {
    writeFile(path_, "{broken");
    load();
    // A scanner holding the fresh temporary file lets it be written but not renamed.
    writeFile(aside(".tmp"), "");
    UniqueHandle scanner(CreateFileW(aside(".tmp").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(scanner);
    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(readFile(path_), "{broken");
}

TEST(TextConversion, RoundTripsAndReplacesMalformedInput) {
    EXPECT_EQ(toUtf8(L""), "");
    const std::wstring cyrillic = L"Снимок. Пометка. Ссылка. ✦ 😀";
    EXPECT_EQ(toWide(toUtf8(cyrillic)), cyrillic);
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD800)) + L"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(toWide("\xC3\x28"), std::wstring(L"\xFFFD") + L"(");
    EXPECT_EQ(toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
