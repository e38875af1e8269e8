#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (L"clipvane-settings-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   toWide(::testing::UnitTest::GetInstance()->current_test_info()->name()));
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

    fs::path folder_;
    fs::path path_;
};

TEST_F(SettingsFile, FirstStartKeepsDefaultsAndWritesNothingUntilTheFirstSave) {
    load();
    EXPECT_EQ(app.siteAddress, L"https://clip.example");
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.settingsDoc, json::object());
    EXPECT_FALSE(fs::exists(folder_));

    recordCapture();
    ASSERT_TRUE(fs::exists(path_));
    json written = json::parse(readFile(path_));
    EXPECT_EQ(written["server"], "https://clip.example");
    EXPECT_EQ(written["captures"], json({{dayKey(0), 1}}));
    EXPECT_EQ(app.statusLine, L"начало");
}

TEST_F(SettingsFile, CyrillicTokenIsProtectedOnDiskAndComesBackAfterReload) {
    load();
    const std::string token = toUtf8(L"ключ-доступа-42");
    EXPECT_TRUE(setToken(token));

    std::string text = readFile(path_);
    EXPECT_EQ(text.find(token), std::string::npos);
    json written = json::parse(text);
    ASSERT_TRUE(written["token"].is_array());
    EXPECT_GT(written["token"].size(), token.size());
    for (const json& byte : written["token"]) EXPECT_TRUE(byte.is_number_unsigned() && byte.get<int>() <= 255);

    app.token.clear();
    load();
    EXPECT_EQ(app.token, token);

    EXPECT_TRUE(setToken(""));
    EXPECT_FALSE(json::parse(readFile(path_)).contains("token"));
    EXPECT_TRUE(app.token.empty());
}

TEST_F(SettingsFile, UnknownMembersAndAnotherUsersTokenSurviveSavesByteForByte) {
    const std::string original =
        "{\n  \"captures\": {},\n  \"future\": {\n    \"x\": [\n      true,\n      \"ё\"\n    ]\n  },\n"
        "  \"server\": \"https://other.example:8443\",\n  \"token\": [\n    1,\n    2,\n    3\n  ]\n}";
    writeFile(path_, original);
    load();
    EXPECT_EQ(app.siteAddress, L"https://other.example:8443");
    EXPECT_TRUE(app.token.empty());  // the bytes do not unprotect for this user

    EXPECT_TRUE(saveSettings());
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(path_), original);
}

TEST_F(SettingsFile, UnreadableFileIsKeptAsideBeforeTheFirstSaveOverIt) {
    const std::string broken = "{\"captures\": {\"2026-01-01\": 5}, \"token\": [1, 2, 3],";
    writeFile(path_, broken);
    writeFile(aside(".bad"), "older");  // kept at an earlier start
    load();
    EXPECT_EQ(app.settingsDoc, json::object());
    EXPECT_EQ(app.siteAddress, L"https://clip.example");

    recordCapture();
    EXPECT_EQ(readFile(aside(".bad")), "older");
    EXPECT_EQ(readFile(aside(".bad2")), broken);
    EXPECT_EQ(json::parse(readFile(path_))["captures"], json({{dayKey(0), 1}}));

    // Only the file that failed to load is kept; later saves replace as usual.
    recordCapture();
    EXPECT_FALSE(fs::exists(aside(".bad3")));
}

TEST_F(SettingsFile, FileHeldWithoutSharingAtStartIsKeptNotReplaced) {
    const std::string original = R"({"captures": {"2026-01-01": 5}, "server": "https://a.example"})";
    writeFile(path_, original);
    {
        UniqueHandle held(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        load();
        EXPECT_FALSE(saveSettings());
    }
    EXPECT_EQ(readFile(path_), original);
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(aside(".bad")), original);
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

TEST_F(SettingsFile, NonStringServerFallsBackToTheDefaultAddress) {
    writeFile(path_, R"({"server": ["https://x.example"], "captures": {"2026-01-01": 2}})");
    load();
    EXPECT_EQ(app.siteAddress, L"https://clip.example");
    EXPECT_EQ(app.settingsDoc, json::object());
}

TEST_F(SettingsFile, StrayTemporaryFileDoesNotDisturbLoadOrSave) {
    writeFile(path_, R"({"server": "https://a.example"})");
    writeFile(aside(".tmp"), "{half");
    load();
    EXPECT_EQ(app.siteAddress, L"https://a.example");
    EXPECT_TRUE(saveSettings());
    EXPECT_FALSE(fs::exists(aside(".tmp")));
}

TEST_F(SettingsFile, ReadOnlyFileIsLeftAloneAndTheFailureIsShown) {
    const std::string original = R"({"server": "https://a.example"})";
    writeFile(path_, original);
    load();
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    app.siteAddress = L"https://b.example";

    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(app.statusLine, L"Не удалось сохранить настройки на диск");
    EXPECT_EQ(readFile(path_), original);
    EXPECT_TRUE(fs::exists(aside(".tmp")));
    EXPECT_EQ(app.settingsDoc["server"], "https://b.example");  // kept for a later save
}

TEST_F(SettingsFile, LockedFileIsLeftAloneAndTheFailureIsShown) {
    const std::string original = R"({"server": "https://a.example"})";
    writeFile(path_, original);
    load();
    UniqueHandle lock(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);

    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(app.statusLine, L"Не удалось сохранить настройки на диск");
    lock.reset();
    EXPECT_EQ(readFile(path_), original);
}

TEST(TextConversion, RoundTripsAndReplacesMalformedInput) {
    EXPECT_EQ(toUtf8(L""), "");
    EXPECT_EQ(toWide(""), L"");
    const std::wstring cyrillic = L"Снимок. Пометка. Ссылка. ✦ 😀";
    EXPECT_EQ(toWide(toUtf8(cyrillic)), cyrillic);
    EXPECT_EQ(toUtf8(L"ж"), "\xD0\xB6");
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD800)) + L"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(toWide("\xC3\x28"), std::wstring(L"\xFFFD") + L"(");
    EXPECT_EQ(toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
