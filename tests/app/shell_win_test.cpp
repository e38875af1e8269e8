// The program's start-up and shutdown, in this process and as two copies.

#include <gtest/gtest.h>

#include <windows.h>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "support/win_harness.h"

namespace {

using namespace testsupport;

// Ctrl+Shift+S and Print Screen, as another program would ask for them.
bool hotKeysFree() {
    bool region = RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT, 'S');
    bool full = RegisterHotKey(nullptr, 8, MOD_NOREPEAT, VK_SNAPSHOT);
    UnregisterHotKey(nullptr, 7);
    UnregisterHotKey(nullptr, 8);
    return region && full;
}

// The real start-up in this process, ended the way the tray's exit ends it.
class InProcessShell : public ::testing::Test {
protected:
    void TearDown() override { endTestShell(); }
};

TEST_F(InProcessShell, TakenHotKeyIsReportedAndTheOtherStillRegisters) {
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"ClipvaneTestHotKeyHeld"));
    Process holder;  // holds Print Screen
    ASSERT_TRUE(holder.start(windowsPath(CLIPVANE_HOTKEY_HOLDER) + L" ClipvaneTestHotKeyHeld"));
    ASSERT_EQ(WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);

    ASSERT_TRUE(startTestShell());
    EXPECT_EQ(app.statusLine, L"Часть горячих клавиш занята. Используйте кнопки");
    EXPECT_FALSE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT, 'S'));  // ours
}

TEST_F(InProcessShell, TheMainWindowsEndRemovesTheTrayIconFreesTheHotKeysAndClosesTheEditor) {
    ASSERT_TRUE(startTestShell());
    ASSERT_FALSE(hotKeysFree());
    openEditor(nullptr);
    HWND editor = editorState.editorWindow;
    ASSERT_TRUE(IsWindow(editor));
    // The handler alone, the window kept: what goes with a destroyed window
    // anyway must not hide what the handler forgot to let go.
    SendMessageW(app.mainWindow, WM_DESTROY, 0, 0);
    EXPECT_TRUE(hotKeysFree());
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &app.trayIcon));
    EXPECT_FALSE(IsWindow(editor));
    if (IsWindow(editor)) DestroyWindow(editor);  // so that the tests after this one can run
}

// The capture hides the main window; an editor that cannot be made must not
// leave the program with no window at all.
TEST_F(InProcessShell, EditorThatCannotBeCreatedBringsTheMainWindowBack) {
    ASSERT_TRUE(startTestShell());
    ASSERT_TRUE(UnregisterClassW(L"ClipvaneEditor", GetModuleHandleW(nullptr)));  // the next start registers it
    startCapture(false);
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(app.statusLine, L"Не удалось открыть редактор. Сделайте снимок ещё раз");
}

// The tray icon is the way back to a hidden window and the only way out: a
// left click shows the window, the right button's menu ends the program.
TEST_F(InProcessShell, TrayIconClickShowsTheWindowAndItsMenuQuits) {
    ASSERT_TRUE(startTestShell());
    HWND window = app.mainWindow;
    ShowWindow(window, SW_HIDE);
    SendMessageW(window, WM_TRAY_NOTIFY, 0, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(window));
    // Keys already queued drive the menu's own loop: up to its last item.
    for (WPARAM key : {VK_UP, VK_RETURN}) PostMessageW(window, WM_KEYDOWN, key, 1);
    SendMessageW(window, WM_TRAY_NOTIFY, 0, WM_RBUTTONUP);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(window); }));
}

TEST(TwoProcesses, SecondStartShowsTheFirstWindowAndExitsWithZero) {
    const std::wstring program = L"\"" + windowsPath(CLIPVANE_EXE) + L"\"";
    Process first;
    ASSERT_TRUE(first.start(program));
    ASSERT_TRUE(waitFor([] { return runningMainWindow() != nullptr && IsWindowVisible(runningMainWindow()); }));
    HWND window = runningMainWindow();
    ShowWindow(window, SW_HIDE);
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(window); }));

    Process second;
    ASSERT_TRUE(second.start(program));
    EXPECT_EQ(second.waitForExit(20000), 0u);
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(window) != FALSE; }));
    EXPECT_EQ(runningMainWindow(), window);

    PostMessageW(window, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(first.waitForExit(20000), 0u);
}

}  // namespace
