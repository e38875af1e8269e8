#include "app/main_window.h"

#include "app/app_state.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"

namespace {

void onDestroy(HWND window) {
    Shell_NotifyIconW(NIM_DELETE, &app.trayIcon);
    UnregisterHotKey(window, HOTKEY_REGION);
    UnregisterHotKey(window, HOTKEY_FULLSCREEN);
    if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
    PostQuitMessage(0);
}

void onPaint(HWND window) {
    PaintScope paint(window);
    RECT client;
    GetClientRect(window, &client);
    FillRect(paint.dc(), &client, app.backgroundBrush);
    SetBkMode(paint.dc(), TRANSPARENT);
    SetTextColor(paint.dc(), RGB(143, 143, 143));
    HGDIOBJ old = SelectObject(paint.dc(), app.uiFont);
    RECT line{24, 355, client.right - 24, 380};
    DrawTextW(paint.dc(), app.statusLine.c_str(), -1, &line, DT_LEFT | DT_SINGLELINE);
    SelectObject(paint.dc(), old);
}

}  // namespace

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        app.mainWindow = window;
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
