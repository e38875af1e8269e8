// Starts the real main window in this process and writes, for pages 0 and
// 4, every child control as one line: page, control id, class, client
// rectangle (x y width height), text limit (0 for buttons), and the DPI.
// The DPI test runs it in prefixes set to other scales.

#include <windows.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/startup.h"

namespace {

void writeControl(FILE* out, int page, HWND control, UINT dpi) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, app.mainWindow, reinterpret_cast<POINT*>(&box), 2);
    bool edit = _wcsicmp(className, L"Edit") == 0;
    LRESULT limit = edit ? SendMessageW(control, EM_GETLIMITTEXT, 0, 0) : 0;
    std::fprintf(out, "%d %d %s %ld %ld %ld %ld %ld %u\n", page, GetDlgCtrlID(control), edit ? "EDIT" : "BUTTON",
                 box.left, box.top, box.right - box.left, box.bottom - box.top, static_cast<long>(limit), dpi);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || !startShell(GetModuleHandleW(nullptr))) return 2;
    FILE* out = _wfopen(argv[1], L"w");
    if (!out) return 3;
    UINT dpi = GetDpiForWindow(app.mainWindow);
    for (int page : {0, 4}) {
        app.currentPage = page;
        rebuildControls();
        for (HWND control : app.mainControls) writeControl(out, page, control, dpi);
    }
    std::fclose(out);
    DestroyWindow(app.mainWindow);
    stopShell();
    return 0;
}
