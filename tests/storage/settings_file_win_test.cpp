// The settings file on a real Windows file system: each test has its own
// folder under the temporary directory, never the user's own settings.

#include "app/win_handles.h"
#include "storage/capture_history.h"
#include "storage/settings.h"
#include "support/win_harness.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::readFile;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / L"clipvane-settings";
        fs::remove_all(folder_);
        path_ = folder_ / L"Clipvane" / L"settings.json";
        fs::create_directories(path_.parent_path());
        app.settingsDoc = json::object();
        app.statusLine = L"начало";
    }
    // A read-only file (or its copy aside) would stop the removal, and every later run with it.
    void TearDown() override {
        std::error_code none;
        for (const auto& entry : fs::recursive_directory_iterator(folder_, none))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(folder_);
    }
    void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    void load() { loadSettingsFromPath(path_.wstring()); }
    fs::path aside(const char* suffix) const { return fs::path(path_.wstring() + toWide(suffix)); }

    fs::path folder_;
    fs::path path_;
};

TEST_F(SettingsFile, FirstStartWritesNothingUntilTheFirstCaptureWhichKeepsTheWeek) {
    load();
    EXPECT_FALSE(fs::exists(path_));

    app.settingsDoc["captures"][dayKey(-6)] = 2;
    recordCapture();
    EXPECT_EQ(json::parse(readFile(path_))["captures"], json({{dayKey(-6), 2}, {dayKey(0), 1}}));
    EXPECT_EQ(app.statusLine, L"начало");
}

// Another user's token does not unprotect here and is kept, as is what a later version wrote.
TEST_F(SettingsFile, UnknownMembersSurviveByteForByteAndACyrillicTokenIsProtectedOnDisk) {
    const std::string original =
        "{\n  \"future\": {\n    \"x\": [\n      true,\n      \"ё\"\n    ]\n  },\n"
        "  \"server\": \"https://other.example:8443\",\n  \"token\": [\n    1,\n    2,\n    3\n  ]\n}";
    write(path_, original);
    load();
    EXPECT_EQ(app.siteAddress, L"https://other.example:8443");
    EXPECT_TRUE(app.token.empty());
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(readFile(path_), original);

    const std::string token = toUtf8(L"ключ-доступа-42");
    EXPECT_TRUE(setToken(token));
    EXPECT_EQ(readFile(path_).find(token), std::string::npos);
    app.token.clear();
    load();
    EXPECT_EQ(app.token, token);
    EXPECT_TRUE(setToken(""));
    EXPECT_FALSE(json::parse(readFile(path_)).contains("token"));
}

// Copying or writing a document recurses once per level; the test program
// has the 1 MiB main-thread stack of Windows programs. Kept once per content:
// a read-only file stays damaged at every start, and each start tries again.
TEST_F(SettingsFile, UnreadableFileIsKeptAsideOncePerContentBeforeASaveOverIt) {
    const std::string deep = "{\"captures\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    write(path_, deep);
    write(aside(".bad"), "older");  // kept at an earlier start
    load();
    EXPECT_EQ(app.settingsDoc, json::object());
    recordCapture();
    EXPECT_EQ(readFile(aside(".bad")), "older");
    EXPECT_TRUE(readFile(aside(".bad2")) == deep);
    recordCapture();
    EXPECT_FALSE(fs::exists(aside(".bad3")));

    write(path_, deep);
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    for (int start = 0; start < 2; ++start) {
        load();
        recordCapture();
    }
    EXPECT_TRUE(readFile(path_) == deep);
    EXPECT_FALSE(fs::exists(aside(".bad3")));
}

// Held by another program at start, the file cannot be read then; it is
// read at the first save it allows, and this run's captures (the one made
// while it was still held too) and link go over what it holds.
TEST_F(SettingsFile, FileHeldAtStartKeepsItsContentsUnderThisRunsChanges) {
    const json original = {{"captures", {{dayKey(-6), 5}, {dayKey(0), 2}}},
                           {"future", 1},
                           {"server", "https://a.example"},
                           {"token", {1, 2, 3}}};
    const std::string linkedToken = "ключ";
    for (bool link : {false, true}) {
        SCOPED_TRACE(link ? "linked" : "captured");
        app.statusLine = L"начало";
        app.siteAddress = kDefaultSiteAddressW;  // as a new start has it
        write(path_, original.dump());
        {
            UniqueHandle held(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
            load();
            recordCapture();
            EXPECT_EQ(app.statusLine, L"Не удалось сохранить настройки на диск");
        }
        if (link) {
            app.siteAddress = L"https://b.example";
            EXPECT_TRUE(setToken(linkedToken));
        } else {
            recordCapture();
        }
        json saved = json::parse(readFile(path_));
        json expected = original;
        expected["captures"][dayKey(0)] = link ? 3 : 4;
        if (link) {
            expected["server"] = "https://b.example";
            expected["token"] = saved["token"];  // a new blob: the token loaded from it tells
        }
        EXPECT_EQ(saved, expected);
        EXPECT_EQ(app.siteAddress, toWide(expected["server"].get<std::string>()));
        EXPECT_EQ(app.token, link ? linkedToken : "");
        EXPECT_FALSE(fs::exists(aside(".bad")));
    }
}

// The saver repeats its generation number 20000 times in each document.
bool wholeDocument(const json& doc) {
    return doc.contains("generation") && doc["padding"] == json(std::vector<int>(20000, doc["generation"].get<int>()));
}

// A saver killed at random moments among its saves: the file it leaves is
// always one whole document, and the next start can load and save it.
TEST_F(SettingsFile, KilledDuringSavesLeavesAWholeDocumentAndStartsCleanly) {
    constexpr int rounds = 25;
    int laterSaves = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        fs::remove(path_);
        {
            testsupport::Process saver;
            ASSERT_TRUE(saver.start(L"\"" + testsupport::windowsPath(CLIPVANE_SETTINGS_SAVER) + L"\" \"" +
                                    path_.wstring() + L"\""));
            // Killed after its first save, not its start, which under emulation
            // takes longer than many saves.
            ASSERT_TRUE(testsupport::waitFor([&] { return fs::exists(path_); }));
            Sleep(round * 37 % 61);  // spread over the time of a few saves
            TerminateProcess(saver.info.hProcess, 9);
            saver.waitForExit(INFINITE);
        }
        json doc = json::parse(readFile(path_));
        ASSERT_TRUE(wholeDocument(doc));
        laterSaves += doc["generation"].get<int>() > 0;

        // Whatever temporary file the killed save left behind.
        load();
        ASSERT_TRUE(wholeDocument(app.settingsDoc));
        ASSERT_TRUE(saveSettings());
    }
    EXPECT_GT(laterSaves, rounds / 2);  // the kills really landed among saves
}

TEST(TextConversion, RoundTripsAndReplacesMalformedInput) {
    const std::wstring cyrillic = L"Снимок. Пометка. Ссылка. ✦ 😀";
    EXPECT_EQ(toWide(toUtf8(cyrillic)), cyrillic);
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD800)) + L"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(toWide("\xC3\x28"), std::wstring(L"\xFFFD") + L"(");
    EXPECT_EQ(toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
