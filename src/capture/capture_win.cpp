#include "capture/capture.h"

#include <dwmapi.h>

#include "app/app_state.h"
#include "capture/overlay_win.h"
#include "capture/screen_copy_win.h"
#include "editor/editor_state.h"
#include "site/request_runner.h"

namespace {

constexpr DWORD kSettleMs = 180;

// Set from the first step of a capture until the overlay or the editor has
// taken over, so a nested call while the screen is being copied starts
// nothing.
bool capturing = false;

class CapturingScope {
public:
    CapturingScope() { capturing = true; }
    ~CapturingScope() { capturing = false; }
    CapturingScope(const CapturingScope&) = delete;
    CapturingScope& operator=(const CapturingScope&) = delete;
};

void raiseEditor() {
    SetForegroundWindow(editorState.editorWindow);
    setStatus(L"Закройте редактор, чтобы сделать новый снимок");
}

// Takes the main window out of the picture and gives the compositor time
// to present the screen without it.
void clearTheScreen() {
    ShowWindow(app.mainWindow, SW_HIDE);
    DwmFlush();
    Sleep(kSettleMs);
}

void reportFailure() {
    app.screenImage.reset();
    ShowWindow(app.mainWindow, SW_SHOW);
    setStatus(L"Не удалось захватить экран");
}

}  // namespace

void startCapture(bool region) {
    if (requestInFlight() || app.overlayWindow || capturing) return;
    if (editorState.editorWindow) {
        raiseEditor();
        return;
    }
    CapturingScope scope;
    clearTheScreen();
    app.virtualScreen = readVirtualScreen();
    app.screenImage = copyScreen(app.virtualScreen);
    if (!app.screenImage) {
        reportFailure();
        return;
    }
    if (!region) {
        openEditor(std::move(app.screenImage));
        return;
    }
    // Without an overlay nothing could ever end the selection or bring the
    // main window back.
    if (!openOverlay()) reportFailure();
}
