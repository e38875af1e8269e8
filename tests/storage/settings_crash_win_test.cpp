#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "app/app_state.h"
#include "storage/settings.h"
#include "storage/text.h"
#include "support/file_bytes.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using testsupport::readFile;

// Every value of the padding must be the document's own generation.
bool wholeDocument(const json& doc) {
    if (!doc.contains("generation") || !doc.contains("padding")) return false;
    int generation = doc["generation"].get<int>();
    for (const json& value : doc["padding"]) {
        if (value.get<int>() != generation) return false;
    }
    return doc["padding"].size() == 20000;
}

// The kill is timed from the saver's first write, not from its start, which
// under emulation takes longer than many saves.
void waitUntilSaving(const fs::path& temporary, HANDLE process) {
    std::error_code error;
    auto before = fs::last_write_time(temporary, error);
    for (int i = 0; i < 400 && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; ++i) {
        auto now = fs::last_write_time(temporary, error);
        if (!error && now != before) return;
        Sleep(25);
    }
}

TEST(SettingsCrashSafety, KilledDuringSavesLeavesAWholeDocumentAndStartsCleanly) {
    fs::path folder = fs::temp_directory_path() / ("clipvane-crash-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::path path = folder / "settings.json";
    std::wstring commandLine = L"\"Z:" + toWide(CLIPVANE_SETTINGS_SAVER) + L"\" \"" + path.wstring() + L"\"";

    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 60);
    fs::path temporary = folder / "settings.json.tmp";
    constexpr int rounds = 25;
    int previousGeneration = -1;
    int rewrites = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring line = commandLine;
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        waitUntilSaving(temporary, process.hProcess);
        Sleep(delay(random));
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);

        if (!fs::exists(path)) continue;  // killed before the first save finished
        json doc = json::parse(readFile(path));
        ASSERT_TRUE(wholeDocument(doc));
        if (doc["generation"].get<int>() != previousGeneration) ++rewrites;
        previousGeneration = doc["generation"].get<int>();

        // The next start reads the whole document, whatever temporary file
        // the killed save left behind, and can save again.
        app.settingsDoc = json::object();
        loadSettingsFromPath(path.wstring());
        ASSERT_TRUE(wholeDocument(app.settingsDoc));
        ASSERT_TRUE(saveSettings());
    }
    EXPECT_GT(rewrites, rounds / 2);  // the kills really landed among saves
    fs::remove_all(folder);
}

}  // namespace
