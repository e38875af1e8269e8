// A saver killed at random moments among its saves: the file it leaves is
// always one whole document, and the next start can load and save it.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <random>

#include "app/app_state.h"
#include "storage/settings.h"
#include "support/file_bytes.h"
#include "support/win_process.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace testsupport;

namespace {

// The saver repeats its generation number 20000 times in each document.
bool wholeDocument(const json& doc) {
    if (!doc.contains("generation") || !doc.contains("padding")) return false;
    int generation = doc["generation"].get<int>();
    for (const json& value : doc["padding"]) {
        if (value.get<int>() != generation) return false;
    }
    return doc["padding"].size() == 20000;
}

TEST(SettingsCrashSafety, KilledDuringSavesLeavesAWholeDocumentAndStartsCleanly) {
    fs::path folder = fs::temp_directory_path() / "clipvane-crash";
    fs::remove_all(folder);
    fs::path path = folder / "settings.json", temporary = folder / "settings.json.tmp";
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 60);
    constexpr int rounds = 25;
    int previousGeneration = -1, rewrites = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        {
            Process saver;
            ASSERT_TRUE(saver.start(L"\"" + windowsPath(CLIPVANE_SETTINGS_SAVER) + L"\" \"" + path.wstring() + L"\""));
            // Killed after its first write, not its start, which under emulation
            // takes longer than many saves.
            std::error_code none;
            auto before = fs::last_write_time(temporary, none);
            waitFor([&] {
                std::error_code error;
                return saver.waitForExit(0) != STILL_ACTIVE || (fs::last_write_time(temporary, error) != before && !error);
            });
            Sleep(delay(random));
            TerminateProcess(saver.info.hProcess, 9);
            saver.waitForExit(INFINITE);
        }
        if (!fs::exists(path)) continue;  // killed before the first save finished
        json doc = json::parse(readFile(path));
        ASSERT_TRUE(wholeDocument(doc));
        rewrites += doc["generation"].get<int>() != previousGeneration;
        previousGeneration = doc["generation"].get<int>();

        // Whatever temporary file the killed save left behind.
        app.settingsDoc = json::object();
        loadSettingsFromPath(path.wstring());
        ASSERT_TRUE(wholeDocument(app.settingsDoc));
        ASSERT_TRUE(saveSettings());
    }
    EXPECT_GT(rewrites, rounds / 2);  // the kills really landed among saves
    fs::remove_all(folder);
}

}  // namespace
