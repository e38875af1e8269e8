#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/startup.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "storage/settings.h"
#include "storage/text.h"
#include "support/shell_session_win.h"
#include "support/win_process.h"

namespace fs = std::filesystem;

namespace {

using namespace testsupport;

// The real start-up in this process, ended the way the tray's exit ends it.
class InProcessShell : public ::testing::Test {
protected:
    void TearDown() override { endTestShell(); }
};

TEST_F(InProcessShell, NormalStartShowsTheHotKeySummaryAndPostsNoRefreshWhenUnlinked) {
    fs::path settings = fs::path(std::getenv("LOCALAPPDATA")) / "Clipvane" / "settings.json";
    fs::remove(settings);
    ASSERT_TRUE(startTestShell());
    EXPECT_EQ(app.statusLine, L"Ctrl+Shift+S — область • Print Screen — весь экран");
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_TRUE(app.profile.is_object());

    RECT client;
    GetClientRect(app.mainWindow, &client);
    double scale = GetDpiForWindow(app.mainWindow) / 96.0;
    EXPECT_EQ(client.right, static_cast<int>(380 * scale));
    EXPECT_EQ(client.bottom, static_cast<int>(440 * scale));

    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, app.mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE));
}

TEST_F(InProcessShell, LinkedStartPostsExactlyOneRefresh) {
    fs::path settings = fs::path(std::getenv("LOCALAPPDATA")) / "Clipvane" / "settings.json";
    app.settingsPath = settings.wstring();
    app.settingsDoc = nlohmann::json::object();
    ASSERT_TRUE(setToken("token-for-start"));
    app.token.clear();

    ASSERT_TRUE(startTestShell());
    EXPECT_EQ(app.token, "token-for-start");
    int refreshes = 0;
    MSG message;
    while (PeekMessageW(&message, app.mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        if (LOWORD(message.wParam) == ID_REFRESH) ++refreshes;
    }
    EXPECT_EQ(refreshes, 1);
    fs::remove(settings);
}

TEST_F(InProcessShell, TakenHotKeyIsReportedAndTheOtherStillRegisters) {
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"ClipvaneTestHotKeyHeld"));
    Process holder;
    ASSERT_TRUE(holder.start(windowsPath(CLIPVANE_HOTKEY_HOLDER) + L" ClipvaneTestHotKeyHeld"));
    ASSERT_EQ(WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);

    ASSERT_TRUE(startTestShell());
    EXPECT_EQ(app.statusLine, L"Часть горячих клавиш занята. Используйте кнопки");
    // Ctrl+Shift+S is ours now, so nobody else can have it.
    EXPECT_FALSE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT, 'S'));
}

TEST_F(InProcessShell, EditorThatCannotBeCreatedBringsTheMainWindowBack) {
    ASSERT_TRUE(startTestShell());
    ASSERT_TRUE(UnregisterClassW(L"ClipvaneEditor", GetModuleHandleW(nullptr)));  // the next start registers it
    startCapture(false);
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(app.statusLine, L"Не удалось открыть редактор. Сделайте снимок ещё раз");
}

TEST(TwoProcesses, SecondStartShowsTheFirstWindowAndExitsWithZero) {
    const std::wstring program = windowsPath(CLIPVANE_EXE);
    Process first;
    ASSERT_TRUE(first.start(L"\"" + program + L"\""));
    ASSERT_TRUE(waitFor([] { return runningMainWindow() != nullptr && IsWindowVisible(runningMainWindow()); }));
    HWND window = runningMainWindow();
    ShowWindow(window, SW_HIDE);
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(window); }));

    Process second;
    ASSERT_TRUE(second.start(L"\"" + program + L"\""));
    EXPECT_EQ(second.waitForExit(20000), 0u);
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(window) != FALSE; }));
    EXPECT_EQ(runningMainWindow(), window);

    PostMessageW(window, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(first.waitForExit(20000), 0u);
}

}  // namespace
