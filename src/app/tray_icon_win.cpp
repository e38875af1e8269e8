#include "app/tray_icon.h"

#include <cwchar>
#include <iterator>

#include "app/app_state.h"

void addTrayIcon() {
    NOTIFYICONDATAW& icon = app.trayIcon;
    icon = NOTIFYICONDATAW{};
    icon.cbSize = sizeof icon;
    icon.hWnd = app.mainWindow;
    icon.uID = 1;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_TRAY_NOTIFY;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wcsncpy(icon.szTip, L"Clipvane • Ctrl+Shift+S — область", std::size(icon.szTip) - 1);
    Shell_NotifyIconW(NIM_ADD, &icon);
}

UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}
