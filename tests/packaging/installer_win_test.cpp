#include <filesystem>
#include <fstream>

#include "support/win_harness.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

fs::path environmentFolder(const char* name) { return std::getenv(name) ? fs::path(std::getenv(name)) : fs::path(); }

// Installs into the throw-away test prefix's own folders.
TEST(Installer, InstallsPerUserAndUninstallsARunningCopyKeepingSettings) {
    const fs::path programs = environmentFolder("LOCALAPPDATA") / "Programs" / "Clipvane";
    const fs::path shortcut =
        environmentFolder("APPDATA") / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "Clipvane.lnk";
    const fs::path settings = environmentFolder("LOCALAPPDATA") / "Clipvane" / "settings.json";
    ASSERT_FALSE(programs.empty());

    Process setup;
    ASSERT_TRUE(setup.start(L"\"" + windowsPath(CLIPVANE_INSTALLER) + L"\" /S"));
    ASSERT_EQ(setup.waitForExit(60000), 0u);
    EXPECT_TRUE(fs::exists(programs / "Clipvane.exe"));
    EXPECT_TRUE(fs::exists(programs / "uninstall.exe"));
    EXPECT_TRUE(fs::exists(shortcut));

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Clipvane", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);

    Process running;
    ASSERT_TRUE(running.start(L"\"" + (programs / "Clipvane.exe").wstring() + L"\""));
    ASSERT_TRUE(waitFor([] { return runningMainWindow() != nullptr; }));

    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << R"({"server": "https://keep.example"})";

    // The uninstaller ends the running copy itself, then removes the files.
    Process uninstall;
    ASSERT_TRUE(uninstall.start(L"\"" + (programs / "uninstall.exe").wstring() + L"\" /S"));
    EXPECT_EQ(running.waitForExit(30000), 0u);
    // The shortcut goes after the folder.
    EXPECT_TRUE(waitFor([&] { return !fs::exists(programs) && !fs::exists(shortcut); }, std::chrono::seconds(30)));
    EXPECT_TRUE(fs::exists(settings));
    fs::remove(settings);
}

}  // namespace
