#include "editor/editor_window.h"
#include "editor/live_resize.h"
#include "editor/quick_picture_win.h"

namespace {

// Looks, after a size step that came outside the size-and-move loop, whether
// the mouse button holding the frame is up again.
constexpr UINT_PTR TIMER_RESIZE_BUTTON = 1;
constexpr UINT kButtonLookMs = 50;

LiveResize liveResize;

bool primaryButtonHeld() {
    // The physical buttons: with swapped buttons the primary one is the right.
    int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return GetAsyncKeyState(button) < 0;
}

void endLiveResize(HWND window) {
    KillTimer(window, TIMER_RESIZE_BUTTON);
    forgetQuickPicture();
    invalidateEditor();
}

}  // namespace

PictureQuality pictureQuality() {
    return liveResize.quick() ? PictureQuality::Quick : PictureQuality::Exact;
}

void enterSizeMove() {
    liveResize.loopEntered();
}

void exitSizeMove(HWND window) {
    if (liveResize.loopLeft()) endLiveResize(window);
}

void sizeChanged(HWND window) {
    liveResize.sized(primaryButtonHeld());
    if (liveResize.watchingButton()) SetTimer(window, TIMER_RESIZE_BUTTON, kButtonLookMs, nullptr);
    invalidateEditor();
}

void editorTimer(HWND window, UINT_PTR id) {
    if (id == TIMER_RESIZE_BUTTON && liveResize.buttonSeen(primaryButtonHeld())) endLiveResize(window);
}

void forgetLiveResize() {
    liveResize = LiveResize{};
    forgetQuickPicture();
}
