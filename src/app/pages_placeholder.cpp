// Temporary: replaced by the main window pages.
#include "app/app_state.h"
#include "app/pages.h"

void paintMainWindow(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, app.backgroundBrush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(143, 143, 143));
    HGDIOBJ old = SelectObject(dc, app.uiFont);
    RECT line{24, 355, client.right - 24, 380};
    DrawTextW(dc, app.statusLine.c_str(), -1, &line, DT_LEFT | DT_SINGLELINE);
    SelectObject(dc, old);
}
