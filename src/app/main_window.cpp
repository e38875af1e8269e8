#include "app/main_window.h"

#include <windowsx.h>

#include "app/app_state.h"
#include "app/button_look.h"
#include "app/command_ids.h"
#include "app/control_layout.h"
#include "app/controls.h"
#include "app/drawing_kit.h"
#include "app/page_animation.h"
#include "app/pages.h"
#include "app/tray_icon.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "site/account.h"
#include "site/request_runner.h"

namespace {

constexpr UINT kAnimationTickMs = 16;

void onCreate(HWND window) {
    app.mainWindow = window;
    app.mainDpi = GetDpiForWindow(window);
    rebuildControls();
}

void onDestroy(HWND window) {
    Shell_NotifyIconW(NIM_DELETE, &app.trayIcon);
    UnregisterHotKey(window, HOTKEY_REGION);
    UnregisterHotKey(window, HOTKEY_FULLSCREEN);
    if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
    PostQuitMessage(0);
}

void onPaint(HWND window) {
    PaintScope paint(window);
    paintMainWindow(window, paint.dc());
}

void showMainWindow(HWND window) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
}

void selectPage(HWND window, int page) {
    app.pageDirection = pageDirectionFor(page, app.currentPage);
    app.currentPage = page;
    app.pageProgress = 0.0f;
    rebuildControls();
    SetFocus(GetDlgItem(window, ID_PAGE_FIRST + page));
    SetTimer(window, TIMER_PAGE_ANIMATION, kAnimationTickMs, nullptr);
}

void quit(HWND window) {
    if (requestInFlight()) {
        setStatus(L"Дождитесь завершения запроса");
        ShowWindow(window, SW_SHOW);
        return;
    }
    DestroyWindow(window);
}

void onCommand(HWND window, int id) {
    if (isTabButton(id)) {
        selectPage(window, id - ID_PAGE_FIRST);
        return;
    }
    switch (id) {
    case ID_CAPTURE_REGION:
        startCapture(true);
        break;
    case ID_CAPTURE_FULL:
        startCapture(false);
        break;
    case ID_REFRESH:
        refresh();
        break;
    case ID_OPEN_ACCOUNT:
        openAccountPage();
        break;
    case ID_LINK:
        linkDevice();
        break;
    case ID_UNLINK:
        unlinkDevice();
        break;
    case ID_TRAY_OPEN:
        showMainWindow(window);
        break;
    case ID_TRAY_EXIT:
        quit(window);
        break;
    case ID_MINIMIZE:
        ShowWindow(window, SW_MINIMIZE);
        break;
    case ID_HIDE:
        ShowWindow(window, SW_HIDE);
        break;
    default:
        break;
    }
}

void onAnimationTick(HWND window) {
    PageTick tick = advancePageAnimation({app.indicatorPos, app.pageProgress}, app.currentPage);
    app.indicatorPos = tick.motion.indicatorPos;
    app.pageProgress = tick.motion.pageProgress;
    if (tick.finished) KillTimer(window, TIMER_PAGE_ANIMATION);
    InvalidateRect(window, nullptr, FALSE);
    for (int page = 0; page < PAGE_COUNT; ++page) InvalidateRect(GetDlgItem(window, ID_PAGE_FIRST + page), nullptr, FALSE);
}

void onAutoRefreshTick() {
    if (!requestInFlight()) refresh();
}

void onTimer(HWND window, UINT_PTR timer) {
    if (timer == TIMER_PAGE_ANIMATION) onAnimationTick(window);
    if (timer == TIMER_AUTO_REFRESH) onAutoRefreshTick();
}

void showTrayMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuW(menu, MF_STRING, ID_CAPTURE_REGION, L"Выделить область");
    AppendMenuW(menu, MF_STRING, ID_CAPTURE_FULL, L"Весь экран");
    AppendMenuW(menu, MF_STRING, ID_TRAY_OPEN, L"Открыть Clipvane");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, ID_TRAY_EXIT, L"Выход");
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    DestroyMenu(menu);
}

void onTrayNotify(HWND window, LPARAM event) {
    if (event == WM_LBUTTONUP) showMainWindow(window);
    if (event == WM_RBUTTONUP) showTrayMenu(window);
}

LRESULT onEditColors(HDC dc) {
    SetTextColor(dc, RGB(240, 238, 248));
    SetBkColor(dc, RGB(32, 32, 32));
    return reinterpret_cast<LRESULT>(app.fieldBrush);
}

void onLeftButtonDown(HWND window, LPARAM position) {
    if (inDragBand(GET_Y_LPARAM(position), app.mainDpi)) {
        SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
}

// Where a minimised window comes back: at its place, in the size for mainDpi.
void resizeRestoredWindow(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) return;
    SIZE size = mainFrameSize(app.mainDpi);
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + size.cx;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + size.cy;
    placement.showCmd = SW_SHOWMINNOACTIVE;
    SetWindowPlacement(window, &placement);
}

// The window grows or shrinks with the monitor's scale; its outline and
// controls are made again for the new size. A minimised window keeps its
// icon's size: the size it is restored to changes instead.
void onDpiChanged(HWND window, UINT dpi, const RECT& suggested) {
    app.mainDpi = dpi;
    if (IsIconic(window)) {
        resizeRestoredWindow(window);
    } else {
        SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER);
    }
    shapeMainWindow(window);
    rebuildControls();
}

}  // namespace

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        onCreate(window);
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_PRINTCLIENT:
        paintMainWindow(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        onTimer(window, wParam);
        return 0;
    case WM_HOTKEY:
        startCapture(wParam == HOTKEY_REGION);
        return 0;
    case WM_CTLCOLOREDIT:
        return onEditColors(reinterpret_cast<HDC>(wParam));
    case WM_LBUTTONDOWN:
        onLeftButtonDown(window, lParam);
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(window, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_REQUEST_DONE:
        onRequestDone(lParam);
        return 0;
    case WM_TRAY_NOTIFY:
        onTrayNotify(window, lParam);
        return 0;
    default:
        if (message == taskbarCreatedMessage()) {
            addTrayIcon();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

SIZE mainFrameSize(UINT dpi) {
    RECT frame{0, 0, scaleUnits(380, dpi), scaleUnits(440, dpi)};
    AdjustWindowRectExForDpi(&frame, kMainStyle, FALSE, 0, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void shapeMainWindow(HWND window) {
    int width = scaleUnits(380, app.mainDpi);
    int height = scaleUnits(440, app.mainDpi);
    int corner = scaleUnits(36, app.mainDpi);
    // The window owns the region from here on and frees the one it replaces.
    SetWindowRgn(window, CreateRoundRectRgn(0, 0, width + 1, height + 1, corner, corner), TRUE);
}
