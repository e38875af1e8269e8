#include "app/main_window.h"

#include "app/app_state.h"
#include "app/pages.h"
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
    paintMainWindow(window, paint.dc());
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
