#pragma once
// The program's real start-up and shutdown inside a test process.

#include <windows.h>

#include "app/app_state.h"
#include "app/startup.h"

namespace testsupport {

inline bool startTestShell() {
    return startShell(GetModuleHandleW(nullptr));
}

// Ends the shell as the tray's exit would, dropping whatever it left queued.
inline void endTestShell() {
    if (app.mainWindow && IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    stopShell();
    app.mainWindow = nullptr;
}

inline void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace testsupport
