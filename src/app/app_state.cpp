#include "app/app_state.h"

#include "editor/editor_state.h"

AppState app;

void setStatus(const std::wstring& text) {
    if (&text != &app.statusLine) app.statusLine = text;
    // A null window would mean every window on the desktop.
    if (app.mainWindow) InvalidateRect(app.mainWindow, nullptr, FALSE);
    if (editorState.editorWindow) InvalidateRect(editorState.editorWindow, nullptr, FALSE);
}

UINT layoutDpi(HWND window) {
    return window && window == app.mainWindow ? app.mainDpi : GetDpiForWindow(window);
}
