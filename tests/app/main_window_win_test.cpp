// The main window procedure driven with real messages in this process.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "main_window_fixture_win.h"

#include "app/command_ids.h"
#include "app/control_layout.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "editor/upload_start.h"
#include "site/request_runner.h"
#include "storage/text.h"
#include "support/input_win.h"

namespace apptest {
namespace {

int childCount() {
    int count = 0;
    for (HWND child = GetWindow(app.mainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
    return count;
}

TEST_F(MainWindowTest, LeavingTheProfilePageLeavesNoFormBehind) {
    command(ID_PAGE_FIRST + 4);
    ASSERT_NE(app.siteAddressEdit, nullptr);
    EXPECT_EQ(SendMessageW(app.siteAddressEdit, EM_GETLIMITTEXT, 0, 0), 200);
    EXPECT_EQ(SendMessageW(app.linkCodeEdit, EM_GETLIMITTEXT, 0, 0), 24);
    EXPECT_EQ(childCount(), 15);
    command(ID_PAGE_FIRST + 1);
    EXPECT_EQ(app.siteAddressEdit, nullptr);
    EXPECT_EQ(app.linkCodeEdit, nullptr);
    EXPECT_EQ(childCount(), 10);
    EXPECT_EQ(app.mainControls.size(), 10u);
}

TEST_F(MainWindowTest, ClickingTheShownTabReplaysTheFadeAndRefillsTheForm) {
    app.siteAddress = L"https://clip.example";
    command(ID_PAGE_FIRST + 4);
    SetWindowTextW(app.siteAddressEdit, L"https://typed.example");
    SetWindowTextW(app.linkCodeEdit, L"ABC");
    app.pageProgress = 1.0f;

    command(ID_PAGE_FIRST + 4);
    EXPECT_EQ(app.pageDirection, -1);
    EXPECT_EQ(app.pageProgress, 0.0f);
    EXPECT_EQ(readWindowText(app.siteAddressEdit), L"https://clip.example");
    EXPECT_EQ(readWindowText(app.linkCodeEdit), L"");
    EXPECT_EQ(GetFocus(), GetDlgItem(app.mainWindow, ID_PAGE_FIRST + 4));
}

TEST_F(MainWindowTest, ATabClickAnimatesUntilTheHighlightArrivesThenStops) {
    command(ID_PAGE_FIRST + 4);
    EXPECT_EQ(app.pageDirection, 1);
    ASSERT_TRUE(pumpUntil([] { return app.indicatorPos == 4.0f && app.pageProgress == 1.0f; }));
    EXPECT_FALSE(KillTimer(app.mainWindow, TIMER_PAGE_ANIMATION));  // already gone
}

TEST_F(MainWindowTest, WhileARequestRunsExitLinkAndUnlinkAreRefused) {
    command(ID_PAGE_FIRST + 4);
    ShowWindow(app.mainWindow, SW_HIDE);
    app.token = "kept";
    app.busy = true;
    command(ID_UNLINK);
    command(ID_LINK);
    EXPECT_EQ(app.token, "kept");
    EXPECT_NE(app.siteAddressEdit, nullptr);  // no rebuild happened either
    command(ID_TRAY_EXIT);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения запроса");
}

TEST_F(MainWindowTest, CloseAndTheCrossHideTheTrayBringsItBack) {
    SendMessageW(app.mainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(app.mainWindow));
    EXPECT_FALSE(IsWindowVisible(app.mainWindow));
    command(ID_TRAY_OPEN);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    command(ID_HIDE);
    EXPECT_FALSE(IsWindowVisible(app.mainWindow));
    SendMessageW(app.mainWindow, WM_TRAY_NOTIFY, 1, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    command(ID_MINIMIZE);
    EXPECT_TRUE(IsIconic(app.mainWindow));
    ShowWindow(app.mainWindow, SW_RESTORE);
}

TEST_F(MainWindowTest, EditsGetLightTextOnTheFieldBrush) {
    MemoryDc dc(CreateCompatibleDC(nullptr));
    LRESULT brush = SendMessageW(app.mainWindow, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc.get()), 0);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), app.fieldBrush);
    EXPECT_EQ(GetTextColor(dc.get()), RGB(240, 238, 248));
    EXPECT_EQ(GetBkColor(dc.get()), RGB(32, 32, 32));
}

TEST_F(MainWindowTest, ANewStatusRepaintsTheWindow) {
    UpdateWindow(app.mainWindow);
    ASSERT_FALSE(GetUpdateRect(app.mainWindow, nullptr, FALSE));
    setStatus(L"Снимок сохранён");
    EXPECT_TRUE(GetUpdateRect(app.mainWindow, nullptr, FALSE));
}

TEST_F(MainWindowTest, PrintScreenCapturesTheWholeScreenIntoTheEditor) {
    SendMessageW(app.mainWindow, WM_HOTKEY, HOTKEY_FULLSCREEN, MAKELPARAM(0, VK_SNAPSHOT));
    EXPECT_EQ(app.overlayWindow, nullptr);
    ASSERT_NE(editorState.editorWindow, nullptr);
    DestroyWindow(editorState.editorWindow);
}

// From a monitor at 100 % to one at 150 % and back: the window moves where it
// is told, its controls are made again at the new scale, and whatever lies
// outside the outline can be neither seen nor clicked, so the outline must
// follow.
TEST_F(MainWindowTest, EachDpiChangeMovesTheWindowAndItsOutlineAndKeepsTheTabsClickable) {
    for (UINT dpi : {144u, 96u}) {
        SCOPED_TRACE(dpi);
        std::vector<HWND> before = app.mainControls;
        int width = scaleUnits(380, dpi), height = scaleUnits(440, dpi);
        RECT suggested{100, 80, 100 + width, 80 + height};
        SendMessageW(app.mainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT now{};
        GetWindowRect(app.mainWindow, &now);
        EXPECT_EQ(now.left, 100);
        EXPECT_EQ(now.top, 80);
        for (HWND old : before) EXPECT_FALSE(IsWindow(old));
        std::vector<ControlSpec> specs = mainControlSpecs(0);
        ASSERT_EQ(app.mainControls.size(), specs.size());
        for (std::size_t i = 0; i < specs.size(); ++i) {
            RECT box{};
            GetWindowRect(app.mainControls[i], &box);
            MapWindowPoints(HWND_DESKTOP, app.mainWindow, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_EQ((std::vector<long>{box.left, box.top, box.right - box.left, box.bottom - box.top}),
                      (std::vector<long>{scaleUnits(specs[i].x, dpi), scaleUnits(specs[i].y, dpi),
                                         scaleUnits(specs[i].width, dpi), scaleUnits(specs[i].height, dpi)}))
                << "control " << i;
        }

        GdiObject<HRGN> outline(CreateRectRgn(0, 0, 0, 0));
        ASSERT_EQ(GetWindowRgn(app.mainWindow, outline.get()), COMPLEXREGION);
        RECT box{};
        GetRgnBox(outline.get(), &box);
        EXPECT_EQ(box.right, width);
        EXPECT_EQ(box.bottom, height);
        // The corners are rounded with a radius of 18 units at this scale.
        int in = scaleUnits(4, dpi), deeper = scaleUnits(12, dpi);
        EXPECT_FALSE(PtInRegion(outline.get(), width - 1 - in, height - 1 - in));
        EXPECT_TRUE(PtInRegion(outline.get(), width - 1 - deeper, height - 1 - deeper));

        RECT tab{};
        GetWindowRect(GetDlgItem(app.mainWindow, ID_PAGE_FIRST + 3), &tab);
        SetForegroundWindow(app.mainWindow);
        clickAt({(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2});
        EXPECT_TRUE(pumpUntil([] { return app.currentPage == 3; }));
        command(ID_PAGE_FIRST + 0);
    }
}

TEST_F(MainWindowTest, TheTrayIconComesBackWhenTheShellRestarts) {
    Shell_NotifyIconW(NIM_DELETE, &app.trayIcon);  // what a restarting shell forgets
    ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &app.trayIcon));
    SendMessageW(app.mainWindow, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &app.trayIcon));
}

// A worker whose result could not be posted leaves busy set; each guard
// collects that result first instead of refusing until the next refresh tick.
TEST_F(MainWindowTest, EveryGuardCollectsAResultThatCouldNotBePosted) {
    openEditor(nullptr);  // so that the capture guard answers without capturing
    const std::pair<std::function<void()>, const wchar_t*> cases[] = {
        {[] { command(ID_LINK); }, L"Укажите HTTPS-адрес сайта без пути"},  // page 0: no address typed
        {[] { command(ID_UNLINK); }, L"Приложение отвязано"},
        {uploadImage, L"Сначала привяжите профиль на пятой вкладке"},
        {[] { startCapture(true); }, L"Закройте редактор, чтобы сделать новый снимок"},
        {[] { SendMessageW(editorState.editorWindow, WM_CLOSE, 0, 0); }, L"Не удалось выполнить запрос"},
    };
    for (const auto& [action, status] : cases) {
        SCOPED_TRACE(toUtf8(status));
        setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
        runAsync([] { return nlohmann::json(1); }, [](const nlohmann::json&) {});
        app.workerThread.join();  // the result is parked and busy stays set
        setRequestRunnerSeams(nullptr, nullptr);
        action();
        EXPECT_TRUE(pumpUntil([] { return !app.busy; }));
        EXPECT_EQ(app.statusLine, status);
    }
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

// The tray menu is modal; a timer on this thread reads it while it is open
// and closes it again.
std::vector<std::wstring> trayMenuItems;

void CALLBACK readOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (!menuWindow) return;
    KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW item{sizeof item, MIIM_FTYPE | MIIM_STRING};
        item.dwTypeData = text;
        item.cch = 63;
        GetMenuItemInfoW(menu, i, TRUE, &item);
        trayMenuItems.push_back(item.fType & MFT_SEPARATOR ? L"—" : text);
    }
    EndMenu();
}

TEST_F(MainWindowTest, TheTrayMenuHasFiveEntriesWithOneSeparatorBeforeExit) {
    trayMenuItems.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 100, readOpenMenu);
    SendMessageW(app.mainWindow, WM_TRAY_NOTIFY, 1, WM_RBUTTONUP);
    KillTimer(nullptr, timer);
    std::vector<std::wstring> expected = {L"Выделить область", L"Весь экран", L"Открыть Clipvane", L"—", L"Выход"};
    EXPECT_EQ(trayMenuItems, expected);
    EXPECT_TRUE(IsWindow(app.mainWindow));  // closing the menu chose nothing
}

}  // namespace
}  // namespace apptest
