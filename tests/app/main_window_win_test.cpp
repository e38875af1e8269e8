// The main window procedure driven with real messages in this process, and
// its controls measured in prefixes set to other scales.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "main_window_fixture_win.h"

#include "app/command_ids.h"
#include "app/control_layout.h"
#include "app/controls.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "editor/upload_start.h"
#include "site/request_runner.h"
#include "storage/text.h"
#include "support/win_process.h"

namespace apptest {
namespace {

using namespace testsupport;

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
    return children;
}

void typeInto(HWND edit, int count) {
    SetFocus(edit);
    for (int i = 0; i < count; ++i) SendMessageW(edit, WM_CHAR, L'a' + i % 26, 0);
}

TEST_F(MainWindowTest, LeavingTheProfilePageLeavesNoFormBehind) {
    command(ID_PAGE_FIRST + 4);
    ASSERT_NE(app.siteAddressEdit, nullptr);
    ASSERT_NE(app.linkCodeEdit, nullptr);
    EXPECT_NE(GetDlgItem(app.mainWindow, ID_LINK), nullptr);
    EXPECT_EQ(app.mainControls.size(), 15u);

    command(ID_PAGE_FIRST + 1);
    EXPECT_EQ(app.siteAddressEdit, nullptr);
    EXPECT_EQ(app.linkCodeEdit, nullptr);
    EXPECT_EQ(GetDlgItem(app.mainWindow, ID_LINK), nullptr);
    EXPECT_EQ(GetDlgItem(app.mainWindow, ID_UNLINK), nullptr);
    EXPECT_EQ(childrenOf(app.mainWindow).size(), 10u);
    EXPECT_EQ(app.mainControls.size(), 10u);
}

TEST_F(MainWindowTest, TheEditsKeepToTheirLimits) {
    command(ID_PAGE_FIRST + 4);
    SetWindowTextW(app.siteAddressEdit, L"");
    typeInto(app.linkCodeEdit, 25);
    typeInto(app.siteAddressEdit, 201);
    EXPECT_EQ(readWindowText(app.linkCodeEdit).size(), 24u);
    EXPECT_EQ(readWindowText(app.siteAddressEdit).size(), 200u);
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

TEST_F(MainWindowTest, ATabClickAnimatesUntilTheHighlightArrives) {
    app.currentPage = 1;
    app.indicatorPos = 1.0f;
    command(ID_PAGE_FIRST + 4);
    EXPECT_EQ(app.pageDirection, 1);
    EXPECT_EQ(app.currentPage, 4);
    ASSERT_TRUE(waitFor([] {
        pumpMessages();
        return app.indicatorPos == 4.0f && app.pageProgress == 1.0f;
    }));
    command(ID_PAGE_FIRST + 0);
    EXPECT_EQ(app.pageDirection, -1);
    // The timer is gone once the page has settled: a kill now reports none.
    ASSERT_TRUE(waitFor([] {
        pumpMessages();
        return app.indicatorPos == 0.0f && app.pageProgress == 1.0f;
    }));
    EXPECT_FALSE(KillTimer(app.mainWindow, TIMER_PAGE_ANIMATION));
}

TEST_F(MainWindowTest, ExitWhileARequestRunsIsRefusedAndShowsTheWindow) {
    ShowWindow(app.mainWindow, SW_HIDE);
    app.busy = true;
    command(ID_TRAY_EXIT);
    EXPECT_TRUE(IsWindow(app.mainWindow));
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения запроса");
}

TEST_F(MainWindowTest, LinkAndUnlinkDoNothingWhileARequestRuns) {
    command(ID_PAGE_FIRST + 4);
    app.token = "kept";
    app.busy = true;
    std::wstring before = app.statusLine;
    command(ID_UNLINK);
    command(ID_LINK);
    EXPECT_EQ(app.token, "kept");
    EXPECT_EQ(app.statusLine, before);
    EXPECT_NE(app.siteAddressEdit, nullptr);  // no rebuild happened either
}

TEST_F(MainWindowTest, CloseAndTheCrossHideTheOpenCommandShowsAgain) {
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

TEST_F(MainWindowTest, UnknownCommandsAndTheEditsNotificationsDoNothing) {
    std::vector<HWND> before = app.mainControls;
    EXPECT_EQ(command(0), 0);
    EXPECT_EQ(SendMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), 0), 0);
    EXPECT_EQ(command(777), 0);
    EXPECT_EQ(app.mainControls, before);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
}

TEST_F(MainWindowTest, EditsGetLightTextOnTheFieldBrush) {
    HDC dc = CreateCompatibleDC(nullptr);
    LRESULT brush = SendMessageW(app.mainWindow, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), app.fieldBrush);
    EXPECT_EQ(GetTextColor(dc), RGB(240, 238, 248));
    EXPECT_EQ(GetBkColor(dc), RGB(32, 32, 32));
    DeleteDC(dc);
}

TEST_F(MainWindowTest, ADpiChangeMovesTheWindowAndRecreatesTheControls) {
    std::vector<HWND> before = app.mainControls;
    RECT suggested{40, 50, 40 + 380, 50 + 440};
    SendMessageW(app.mainWindow, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(app.mainWindow, &now);
    EXPECT_EQ(now.left, 40);
    EXPECT_EQ(now.top, 50);
    ASSERT_EQ(app.mainControls.size(), before.size());
    for (HWND old : before) EXPECT_FALSE(IsWindow(old));
}

// A real press and release of the left button at a point of the screen.
void clickAt(POINT point) {
    SetCursorPos(point.x, point.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

// From a monitor at 100 % to one at 150 % and back: whatever lies outside
// the outline can be neither seen nor clicked, so it must follow the window.
TEST_F(MainWindowTest, TheOutlineFollowsEachDpiChangeAndTheTabsStayClickable) {
    for (UINT dpi : {144u, 96u}) {
        SCOPED_TRACE(dpi);
        int width = scaleUnits(380, dpi), height = scaleUnits(440, dpi);
        RECT suggested{100, 80, 100 + width, 80 + height};
        SendMessageW(app.mainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        GdiObject<HRGN> outline(CreateRectRgn(0, 0, 0, 0));
        ASSERT_EQ(GetWindowRgn(app.mainWindow, outline.get()), COMPLEXREGION);
        RECT box{};
        GetRgnBox(outline.get(), &box);
        EXPECT_EQ(box.right, width);
        EXPECT_EQ(box.bottom, height);
        EXPECT_FALSE(PtInRegion(outline.get(), width - 2, height - 2));  // a rounded corner
        EXPECT_TRUE(PtInRegion(outline.get(), width / 2, height - 2));

        RECT tab{};
        GetWindowRect(GetDlgItem(app.mainWindow, ID_PAGE_FIRST + 3), &tab);
        SetForegroundWindow(app.mainWindow);
        clickAt({(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2});
        EXPECT_TRUE(waitFor([] {
            pumpMessages();
            return app.currentPage == 3;
        }));
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
    struct Case {
        std::function<void()> action;
        const wchar_t* status;
    };
    const Case cases[] = {
        {[] { command(ID_LINK); }, L"Укажите HTTPS-адрес сайта без пути"},  // page 0: no address typed
        {[] { command(ID_UNLINK); }, L"Приложение отвязано"},
        {uploadImage, L"Сначала привяжите профиль на пятой вкладке"},
        {[] { startCapture(true); }, L"Закройте редактор, чтобы сделать новый снимок"},
        {[] { SendMessageW(editorState.editorWindow, WM_CLOSE, 0, 0); }, L"Не удалось выполнить запрос"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.status));
        setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
        runAsync([] { return nlohmann::json(1); }, [](const nlohmann::json&) {});
        app.workerThread.join();  // the result is parked and busy stays set
        setRequestRunnerSeams(nullptr, nullptr);
        c.action();
        EXPECT_TRUE(waitFor([] {
            pumpMessages();
            return !app.busy;
        }));
        EXPECT_EQ(app.statusLine, c.status);
    }
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

// The tray menu is modal; a timer on this thread reads it while it is open
// and closes it again.
std::vector<std::wstring> trayMenuItems;
int trayMenuSeparators = 0;

void CALLBACK readOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (!menuWindow) return;
    KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW item{};
        wchar_t text[64] = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 63;
        GetMenuItemInfoW(menu, i, TRUE, &item);
        if (item.fType & MFT_SEPARATOR) ++trayMenuSeparators;
        trayMenuItems.push_back(item.fType & MFT_SEPARATOR ? L"—" : text);
    }
    EndMenu();
}

TEST_F(MainWindowTest, TheTrayMenuHasFiveEntriesWithOneSeparatorBeforeExit) {
    trayMenuItems.clear();
    trayMenuSeparators = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, readOpenMenu);
    SendMessageW(app.mainWindow, WM_TRAY_NOTIFY, 1, WM_RBUTTONUP);
    KillTimer(nullptr, timer);
    std::vector<std::wstring> expected = {L"Выделить область", L"Весь экран", L"Открыть Clipvane", L"—", L"Выход"};
    EXPECT_EQ(trayMenuItems, expected);
    EXPECT_EQ(trayMenuSeparators, 1);
    EXPECT_TRUE(IsWindow(app.mainWindow));  // closing the menu chose nothing
}

// --- Controls at other scales, measured by a probe in a prefix set to them.

struct ProbedControl {
    int page, id;
    std::string className;
    int x, y, width, height, limit;
    unsigned dpi;
};

// Sets the prefix's scale for programs started from now on; restores it.
class PrefixDpi {
public:
    explicit PrefixDpi(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr);
        DWORD size = sizeof old_;
        hadValue_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
                    ERROR_SUCCESS;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~PrefixDpi() {
        if (hadValue_) {
            RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        } else {
            RegDeleteValueW(key_, L"LogPixels");
        }
        RegCloseKey(key_);
    }
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 96;
    bool hadValue_ = false;
};

std::vector<ProbedControl> probeAt(DWORD dpi) {
    PrefixDpi scale(dpi);
    std::filesystem::path out = std::filesystem::temp_directory_path() / ("controls-" + std::to_string(dpi) + ".txt");
    Process probe;
    if (!probe.start(L"\"" + windowsPath(CLIPVANE_CONTROL_PROBE) + L"\" \"" + out.wstring() + L"\"")) return {};
    if (probe.waitForExit(60000) != 0) return {};
    std::vector<ProbedControl> controls;
    std::ifstream in(out);
    ProbedControl c{};
    while (in >> c.page >> c.id >> c.className >> c.x >> c.y >> c.width >> c.height >> c.limit >> c.dpi) {
        controls.push_back(c);
    }
    return controls;
}

class ControlsAtScale : public ::testing::TestWithParam<unsigned> {};

TEST_P(ControlsAtScale, EveryControlSitsWhereItsUnitsScaleTo) {
    unsigned dpi = GetParam();
    std::vector<ProbedControl> probed = probeAt(dpi);
    std::vector<ControlSpec> page0 = mainControlSpecs(0), page4 = mainControlSpecs(4);
    ASSERT_EQ(probed.size(), page0.size() + page4.size()) << "the probe did not run";
    for (std::size_t i = 0; i < probed.size(); ++i) {
        const ProbedControl& control = probed[i];
        const ControlSpec& spec = i < page0.size() ? page0[i] : page4[i - page0.size()];
        SCOPED_TRACE("page " + std::to_string(control.page) + " control " + std::to_string(i));
        EXPECT_EQ(control.dpi, dpi);
        EXPECT_EQ(control.id, spec.id);
        EXPECT_EQ(control.x, scaleUnits(spec.x, dpi));
        EXPECT_EQ(control.y, scaleUnits(spec.y, dpi));
        EXPECT_EQ(control.width, scaleUnits(spec.width, dpi));
        EXPECT_EQ(control.height, scaleUnits(spec.height, dpi));
        int limit = spec.kind == ControlKind::AddressEdit ? 200 : spec.kind == ControlKind::CodeEdit ? 24 : 0;
        EXPECT_EQ(control.limit, limit);
        EXPECT_EQ(control.className, spec.kind == ControlKind::Button ? "BUTTON" : "EDIT");
    }
    if (dpi == 120 && probed.size() > 6) {
        // The figures a designer checks by hand at 125 %.
        EXPECT_EQ(probed[0].x, 30);
        EXPECT_EQ(probed[0].y, 90);
        EXPECT_EQ(probed[0].width, 267);
        EXPECT_EQ(probed[0].height, 47);
        EXPECT_EQ(probed[6].x, 115);
        EXPECT_EQ(probed[6].y, 480);
        EXPECT_EQ(probed[6].width, 80);
        EXPECT_EQ(probed[6].height, 53);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, ControlsAtScale, ::testing::Values(96u, 120u, 144u, 192u));

}  // namespace
}  // namespace apptest
