// The program's start-up, its main window driven with real messages in this
// process, and its shutdown; and two copies of the built program.

#include <array>

#include "app/command_ids.h"
#include "app/control_layout.h"
#include "app/controls.h"
#include "app/drawing_kit.h"
#include "app/pages.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "site/request_runner.h"
#include "storage/capture_history.h"
#include "support/pixels_win.h"
#include "support/win_harness.h"

namespace {

using namespace testsupport;

const auto* const shell = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

// Each test starts from a settled page 0 of an unlinked, empty profile with
// no request running.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.busy = false;
        app.token.clear();
        app.statusLine = L"Готов к первому снимку";
        app.currentPage = 0;
        app.indicatorPos = 0.0f;
        app.pageProgress = 1.0f;
        app.pageDirection = 1;
        app.profile = nlohmann::json::object();
        app.news = nlohmann::json::array();
        app.settingsDoc["captures"] = nlohmann::json::object();
        KillTimer(app.mainWindow, TIMER_PAGE_ANIMATION);
        rebuildControls();
        ShowWindow(app.mainWindow, SW_SHOW);
        pumpMessages();
    }

    static LRESULT command(int id) { return SendMessageW(app.mainWindow, WM_COMMAND, id, 0); }
};

TEST_F(MainWindowTest, LeavingTheProfilePageLeavesNoFormBehind) {
    command(ID_PAGE_FIRST + 4);
    ASSERT_NE(app.siteAddressEdit, nullptr);
    EXPECT_EQ(SendMessageW(app.siteAddressEdit, EM_GETLIMITTEXT, 0, 0), 200);
    EXPECT_EQ(SendMessageW(app.linkCodeEdit, EM_GETLIMITTEXT, 0, 0), 24);
    command(ID_PAGE_FIRST + 1);
    EXPECT_EQ(app.siteAddressEdit, nullptr);
    EXPECT_EQ(app.linkCodeEdit, nullptr);
}

// The tray's exit while a request runs shows the window with a new status
// instead, which repaints it.
TEST_F(MainWindowTest, ExitWhileARequestRunsShowsTheWindowAndRepaintsItsStatus) {
    ShowWindow(app.mainWindow, SW_HIDE);
    UpdateWindow(app.mainWindow);
    app.busy = true;
    command(ID_TRAY_EXIT);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения запроса");
    UpdateWindow(app.mainWindow);
    ASSERT_FALSE(GetUpdateRect(app.mainWindow, nullptr, FALSE));
    setStatus(L"Снимок сохранён");
    EXPECT_TRUE(GetUpdateRect(app.mainWindow, nullptr, FALSE));
}

TEST_F(MainWindowTest, PrintScreenCapturesTheWholeScreenIntoTheEditor) {
    SendMessageW(app.mainWindow, WM_HOTKEY, HOTKEY_FULLSCREEN, MAKELPARAM(0, VK_SNAPSHOT));
    EXPECT_EQ(app.overlayWindow, nullptr);
    EXPECT_NE(editorState.editorWindow, nullptr);
    DestroyWindow(editorState.editorWindow);
}

// The light button's label is dark, pressed or not: many pixels of its
// label area carry the ink colour.
TEST_F(MainWindowTest, TheLightButtonsLabelIsDark) {
    for (auto [state, face] : {std::pair<UINT, std::uint32_t>{0, 0xFFE5E5E5}, {ODS_SELECTED, 0xFF464646}}) {
        HWND button = createButton(app.mainWindow, ID_CAPTURE_REGION, L"Весь экран", 0, 0, 140, 38);
        Pixels image = renderWith(
            140, 38, [&](HDC dc) { drawButton({ODT_BUTTON, ID_CAPTURE_REGION, 0, 0, state, button, dc, {0, 0, 140, 38}}); });
        DestroyWindow(button);
        int inked = 0;
        for (int y = 8; y < 30; ++y)
            for (int x = 20; x < 120; ++x) inked += channelDistance(image.at(x, y), 0xFF111111) <= 40;
        EXPECT_LE(channelDistance(image.at(12, 5), face), 3) << state;
        EXPECT_GT(inked, 10) << state;
    }
}

// From 100 % to 150 % while minimised (the scale changed in the display
// settings), and back to 100 % on a monitor the window is moved to: it comes
// back at its place, or moves where it is told, at the new size, its
// controls are made again at the new scale, and whatever lies outside the
// outline can be neither seen nor clicked, so the outline must follow.
TEST_F(MainWindowTest, EachDpiChangeScalesTheWindowAndItsOutline) {
    for (auto [dpi, minimised] : {std::pair{144u, true}, std::pair{96u, false}}) {
        SCOPED_TRACE(dpi);
        std::vector<HWND> before = app.mainControls;
        int width = scaleUnits(380, dpi), height = scaleUnits(440, dpi);
        RECT suggested{100, 80, 100 + width, 80 + height}, place = suggested;
        if (minimised) GetWindowRect(app.mainWindow, &place);
        if (minimised) ShowWindow(app.mainWindow, SW_MINIMIZE);
        SendMessageW(app.mainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        if (minimised) ShowWindow(app.mainWindow, SW_RESTORE);
        RECT now{};
        GetWindowRect(app.mainWindow, &now);
        EXPECT_EQ((std::array{now.left, now.top, now.right - now.left, now.bottom - now.top}),
                  (std::array<LONG, 4>{place.left, place.top, width, height}));
        for (HWND old : before) EXPECT_FALSE(IsWindow(old));

        GdiObject<HRGN> outline(CreateRectRgn(0, 0, 0, 0));
        ASSERT_EQ(GetWindowRgn(app.mainWindow, outline.get()), COMPLEXREGION);
        RECT box{};
        GetRgnBox(outline.get(), &box);
        EXPECT_EQ((std::array{box.right, box.bottom}), (std::array<LONG, 2>{width, height}));
        // The corners are rounded with a radius of 18 units at this scale.
        int in = scaleUnits(4, dpi), deeper = scaleUnits(12, dpi);
        EXPECT_FALSE(PtInRegion(outline.get(), width - 1 - in, height - 1 - in));
        EXPECT_TRUE(PtInRegion(outline.get(), width - 1 - deeper, height - 1 - deeper));
    }
}

TEST_F(MainWindowTest, TheTrayIconComesBackWhenTheShellRestarts) {
    Shell_NotifyIconW(NIM_DELETE, &app.trayIcon);  // what a restarting shell forgets
    ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &app.trayIcon));
    SendMessageW(app.mainWindow, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &app.trayIcon));
}

// A worker whose result could not be posted leaves busy set; a capture
// collects that result first instead of refusing until the next refresh tick.
TEST_F(MainWindowTest, ACaptureCollectsAResultThatCouldNotBePosted) {
    openEditor(nullptr);  // so that the capture answers without capturing
    setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
    runAsync([] { return nlohmann::json(1); }, [](const nlohmann::json&) {});
    app.workerThread.join();  // the result is parked and busy stays set
    setRequestRunnerSeams(nullptr, nullptr);
    startCapture(true);
    EXPECT_TRUE(pumpUntil([] { return !app.busy; }));
    EXPECT_EQ(app.statusLine, L"Закройте редактор, чтобы сделать новый снимок");
    DestroyWindow(editorState.editorWindow);
}

Pixels render(float scale) {
    int width = static_cast<int>(380 * scale), height = static_cast<int>(440 * scale);
    if (scale == 1.0f) return renderWith(width, height, [](HDC dc) { paintMainWindow(app.mainWindow, dc); });
    return renderWith(width, height, [&](HDC dc) { paintMainWindowAt(dc, width, height, scale); });
}

// The smallest rectangle holding every pixel that differs between two images.
RECT changedArea(const Pixels& before, const Pixels& after) {
    RECT area{before.width, before.height, 0, 0};
    for (int y = 0; y < before.height; ++y)
        for (int x = 0; x < before.width; ++x)
            if (before.at(x, y) != after.at(x, y))
                area = {std::min<LONG>(area.left, x), std::min<LONG>(area.top, y), std::max<LONG>(area.right, x + 1),
                        std::max<LONG>(area.bottom, y + 1)};
    return area;
}

// What changes on a page is drawn in its box, from the box's top, at 100 %
// and 150 %: the status line clear of the tabs, the week's bars standing on
// their base line.
TEST_F(MainWindowTest, ChangingContentStaysInsideItsBox) {
    struct Row { const char* what; std::function<void()> page, change; RECT box; };  // the box in units
    const Row rows[] = {
        {"status", [] {}, [] { app.statusLine = L"Снимок сохранён"; }, {24, 355, 356, 380}},
        {"week", [] { app.currentPage = 1; },
         [] { app.settingsDoc["captures"] = {{dayKey(-3), 10}, {dayKey(0), 1}}; }, {24, 139, 358, 296}},
    };
    for (float scale : {1.0f, 1.5f}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + " at " + std::to_string(scale));
            SetUp();
            row.page();
            Pixels before = render(scale);
            row.change();
            RECT area = changedArea(before, render(scale));
            // Smoothed edges may reach one pixel out.
            RECT box{std::lround(row.box.left * scale) - 1, std::lround(row.box.top * scale) - 1,
                     std::lround(row.box.right * scale) + 1, std::lround(row.box.bottom * scale) + 1};
            EXPECT_FALSE(IsRectEmpty(&area));
            EXPECT_LT(area.top, box.top + std::lround(8 * scale));
            RECT both{};
            UnionRect(&both, &area, &box);
            EXPECT_TRUE(EqualRect(&both, &box)) << area.left << "," << area.top << "," << area.right << ","
                                                << area.bottom;
        }
    }
}

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
    void SetUp() override {
        if (app.mainWindow) endTestShell();  // the one the other tests share
    }
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
