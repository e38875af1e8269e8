#include "capture/overlay_win.h"

#include <gdiplus.h>

#include <optional>
#include <utility>

#include "app/app_state.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "capture/dimmed_copy_win.h"
#include "capture/overlay_paint_win.h"
#include "capture/screen_copy_win.h"
#include "editor/editor_state.h"

namespace {

// Lives exactly as long as the overlay window.
DimmedCopy dimmedScreen;

PixelPoint pixelPoint(POINT point) {
    return {point.x, point.y};
}

POINT clampedPoint(LPARAM lParam) {
    PixelPoint point = clampToScreen(mousePoint(lParam), app.virtualScreen.width, app.virtualScreen.height);
    return POINT{point.x, point.y};
}

std::unique_ptr<Gdiplus::Bitmap> cutOut(Gdiplus::Bitmap& screen, const PixelRect& area) {
    return std::unique_ptr<Gdiplus::Bitmap>(
        screen.Clone(area.left, area.top, area.width, area.height, PixelFormat32bppARGB));
}

void beginDrag(HWND window, LPARAM lParam) {
    PixelPoint point = mousePoint(lParam);
    app.selStart = app.selEnd = POINT{point.x, point.y};
    app.selecting = true;
    SetCapture(window);
}

void dragTo(HWND window, LPARAM lParam) {
    if (!app.selecting) return;
    app.selEnd = clampedPoint(lParam);
    InvalidateRect(window, nullptr, FALSE);
}

void endDrag(LPARAM lParam) {
    if (!app.selecting) return;
    app.selEnd = clampedPoint(lParam);
    finishSelection(true);
}

void onKeyDown(WPARAM key) {
    if (key == VK_ESCAPE) finishSelection(false);
}

// The monitor the pointer is on, in screen pixels; the whole virtual
// screen if the system cannot tell.
PixelRect monitorAt(POINT point) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) {
        return pixelRect(app.virtualScreen);
    }
    const RECT& area = info.rcMonitor;
    return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

PixelPoint hintAtPointer() {
    POINT cursor{};
    GetCursorPos(&cursor);
    return hintOrigin(pixelPoint(cursor), monitorAt(cursor), {app.virtualScreen.left, app.virtualScreen.top});
}

void onPaint(HWND window) {
    PaintScope paint(window);
    if (!app.screenImage) return;
    OverlayScene scene = overlayScene(app.selecting, pixelPoint(app.selStart), pixelPoint(app.selEnd),
                                      app.selecting ? PixelPoint{} : hintAtPointer());
    Gdiplus::Graphics graphics(paint.dc());
    drawOverlay(graphics, scene, *app.screenImage, dimmedScreen, app.virtualScreen.width, app.virtualScreen.height);
}

}  // namespace

bool openOverlay() {
    const VirtualScreen& screen = app.virtualScreen;
    app.selecting = false;
    dimmedScreen.make(*app.screenImage);  // without it a paint blends the dimming itself
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"ClipvaneOverlay", L"Выделить область",
                                  WS_POPUP, screen.left, screen.top, screen.width, screen.height, nullptr, nullptr,
                                  app.instance, nullptr);
    app.overlayWindow = window;
    if (!window) {
        dimmedScreen.reset();
        return false;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    return true;
}

void finishSelection(bool accept) {
    std::optional<PixelRect> area = acceptedArea(pixelPoint(app.selStart), pixelPoint(app.selEnd));
    app.selecting = false;
    ReleaseCapture();
    DestroyWindow(std::exchange(app.overlayWindow, nullptr));
    dimmedScreen.reset();

    std::unique_ptr<Gdiplus::Bitmap> screen = std::move(app.screenImage);
    if (accept && area) {
        openEditor(cutOut(*screen, *area));  // the main window stays hidden behind the editor
        return;
    }
    ShowWindow(app.mainWindow, SW_SHOW);
    SetForegroundWindow(app.mainWindow);
}

LRESULT CALLBACK overlayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        beginDrag(window, lParam);
        return 0;
    case WM_MOUSEMOVE:
        dragTo(window, lParam);
        return 0;
    case WM_LBUTTONUP:
        endDrag(lParam);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_CLOSE:
        finishSelection(false);
        return 0;
    case WM_KEYDOWN:
        onKeyDown(wParam);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        onPaint(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
