// Screen copy and region overlay figures at the current screen size: the
// copy, the capture command to the overlay's first paint, and one repaint
// per mouse move during a drag, whole and step by step, with the dimming
// blended on every paint and with the dimmed copy made once. A plain GDI
// BitBlt of the whole screen copy stands beside them as the floor.
// Milliseconds; prints figures only. "--hold N" keeps the overlay open
// mid-drag for N seconds afterwards, for a screenshot.

#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "capture/dimmed_copy_win.h"
#include "capture/overlay_paint_win.h"
#include "capture/screen_copy_win.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMoves = 200;

struct Figures {
    double median = 0;
    double worst = 0;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Figures summary(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

Figures measure(int runs, const std::function<void(int)>& step) {
    step(0);  // warm-up
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        step(run);
        times.push_back(millisecondsSince(start));
    }
    return summary(times);
}

void report(const char* what, const Figures& figures) {
    std::printf("  %-52s median %9.3f   worst %9.3f\n", what, figures.median, figures.worst);
}

void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

double workingSetMb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / (1024.0 * 1024.0);
}

// The drag's end point for move i: the selection grows from a quarter of
// the screen to three quarters of it.
POINT dragPoint(int move) {
    const VirtualScreen& screen = app.virtualScreen;
    int x = screen.width / 4 + (screen.width / 2) * move / kMoves;
    int y = screen.height / 4 + (screen.height / 2) * move / kMoves;
    return POINT{x, y};
}

OverlayScene sceneAt(int move) {
    POINT end = dragPoint(move);
    POINT start = dragPoint(0);
    return overlayScene(true, {start.x / 2, start.y / 2}, {end.x, end.y}, {0, 0}, pixelRect(app.virtualScreen));
}

void flushed(Gdiplus::Graphics& graphics) {
    graphics.Flush(Gdiplus::FlushIntentionSync);
    GdiFlush();
}

void reportCopy() {
    std::printf("screen copy\n");
    VirtualScreen screen = readVirtualScreen();
    report("copyScreen (BitBlt CAPTUREBLT + GDI+ bitmap)", measure(20, [&](int) { copyScreen(screen); }));

    ScreenDc screenDc;
    MemoryDc memory(CreateCompatibleDC(screenDc.get()));
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screenDc.get(), screen.width, screen.height));
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    report("floor: BitBlt of the screen into a memory bitmap", measure(20, [&](int) {
               BitBlt(memory.get(), 0, 0, screen.width, screen.height, screenDc.get(), screen.left, screen.top,
                      SRCCOPY | CAPTUREBLT);
               GdiFlush();
           }));
    SelectObject(memory.get(), previous);
}

void reportFirstPaint() {
    std::printf("capture command to the overlay's first paint (5 runs)\n");
    std::vector<double> toOverlay, firstPaint, total;
    for (int run = 0; run < 5; ++run) {
        ShowWindow(app.mainWindow, SW_SHOW);
        pump();
        auto start = Clock::now();
        startCapture(true);
        double opened = millisecondsSince(start);
        auto paintStart = Clock::now();
        UpdateWindow(app.overlayWindow);
        GdiFlush();
        firstPaint.push_back(millisecondsSince(paintStart));
        total.push_back(millisecondsSince(start));
        toOverlay.push_back(opened);
        SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        pump();
    }
    report("whole: startCapture(true) + first WM_PAINT", summary(total));
    report("  startCapture (hide, flush, 180 ms, copy, dim, window)", summary(toOverlay));
    report("  first WM_PAINT", summary(firstPaint));

    std::unique_ptr<Gdiplus::Bitmap> copy = copyScreen(readVirtualScreen());
    DimmedCopy dimmed;
    report("  of which the dimmed copy, made once", measure(5, [&](int) { dimmed.make(*copy); }));
    ShowWindow(app.mainWindow, SW_SHOW);
    pump();
    report("  of which hiding the main window", measure(3, [&](int) {
               ShowWindow(app.mainWindow, SW_HIDE);
               ShowWindow(app.mainWindow, SW_SHOW);
           }));
}

// One repaint per mouse move through the window's own WM_PAINT.
void reportRepaints() {
    std::printf("one overlay repaint per mouse move during a drag (%d moves)\n", kMoves);
    HWND overlay = app.overlayWindow;
    POINT start = dragPoint(0);
    SendMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(start.x / 2, start.y / 2));
    report("WM_MOUSEMOVE + WM_PAINT (dimmed copy made once)", measure(kMoves, [&](int move) {
               POINT end = dragPoint(move);
               SendMessageW(overlay, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(end.x, end.y));
               UpdateWindow(overlay);
               GdiFlush();
           }));
}

void reportPaintSteps(const char* title, Gdiplus::Bitmap& screen, const DimmedCopy& dimmed) {
    std::printf("%s\n", title);
    ScreenDc windowDc(app.overlayWindow);
    Gdiplus::Graphics graphics(windowDc.get());
    prepareForCopies(graphics);
    int width = app.virtualScreen.width;
    int height = app.virtualScreen.height;
    report("whole paint (drawOverlay)", measure(kMoves, [&](int move) {
               drawOverlay(graphics, sceneAt(move), screen, dimmed, width, height);
               flushed(graphics);
           }));
    if (dimmed.draw(graphics)) {
        report("  dimmed copy", measure(kMoves, [&](int) {
                   dimmed.draw(graphics);
                   flushed(graphics);
               }));
    } else {
        report("  screen copy", measure(kMoves, [&](int) {
                   drawScreenCopy(graphics, screen);
                   flushed(graphics);
               }));
        report("  dimming", measure(kMoves, [&](int) {
                   drawDimming(graphics, width, height);
                   flushed(graphics);
               }));
    }
    report("  bright area", measure(kMoves, [&](int move) {
               drawBrightArea(graphics, screen, sceneAt(move).selection);
               flushed(graphics);
           }));
    report("  frame", measure(kMoves, [&](int move) {
               drawSelectionFrame(graphics, sceneAt(move).selection);
               flushed(graphics);
           }));
    report("  label", measure(kMoves, [&](int move) {
               drawSizeLabel(graphics, sceneAt(move));
               flushed(graphics);
           }));
}

void reportFormats(Gdiplus::Bitmap& screen) {
    std::printf("screen copy drawn from other pixel formats\n");
    ScreenDc windowDc(app.overlayWindow);
    Gdiplus::Graphics graphics(windowDc.get());
    prepareForCopies(graphics);
    std::printf("  the copy as made has pixel format 0x%08X\n", static_cast<unsigned>(screen.GetPixelFormat()));
    for (auto [name, format] : {std::pair{"32bppPARGB", PixelFormat32bppPARGB}, std::pair{"32bppARGB", PixelFormat32bppARGB},
                                std::pair{"32bppRGB", PixelFormat32bppRGB}}) {
        std::unique_ptr<Gdiplus::Bitmap> converted(
            screen.Clone(0, 0, static_cast<int>(screen.GetWidth()), static_cast<int>(screen.GetHeight()), format));
        if (!converted) continue;
        char what[64];
        std::snprintf(what, sizeof what, "  screen copy as %s", name);
        report(what, measure(50, [&](int) {
                   drawScreenCopy(graphics, *converted);
                   flushed(graphics);
               }));
    }
}

void reportFloor(Gdiplus::Bitmap& screen) {
    int width = static_cast<int>(screen.GetWidth());
    int height = static_cast<int>(screen.GetHeight());
    HBITMAP handle = nullptr;
    screen.GetHBITMAP(Gdiplus::Color(0), &handle);
    GdiObject<HBITMAP> bitmap(handle);
    ScreenDc windowDc(app.overlayWindow);
    MemoryDc memory(CreateCompatibleDC(windowDc.get()));
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    report("floor: GDI BitBlt of the whole screen copy", measure(kMoves, [&](int) {
               BitBlt(windowDc.get(), 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
               GdiFlush();
           }));
    SelectObject(memory.get(), previous);
}

void hold(int seconds) {
    std::printf("holding the overlay mid-drag for %d s\n", seconds);
    std::fflush(stdout);
    POINT end = dragPoint(kMoves / 2);
    SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(end.x, end.y));
    auto start = Clock::now();
    while (millisecondsSince(start) < seconds * 1000.0) {
        pump();
        Sleep(20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!startShell(GetModuleHandleW(nullptr))) return 1;
    std::printf("virtual screen %d x %d; milliseconds\n", GetSystemMetrics(SM_CXVIRTUALSCREEN),
                GetSystemMetrics(SM_CYVIRTUALSCREEN));
    double before = workingSetMb();
    reportCopy();
    reportFirstPaint();

    ShowWindow(app.mainWindow, SW_SHOW);
    startCapture(true);
    UpdateWindow(app.overlayWindow);
    std::printf("working set: %.1f MB before a capture, %.1f MB with the overlay open\n", before, workingSetMb());
    reportRepaints();

    Gdiplus::Bitmap& screen = *app.screenImage;
    DimmedCopy dimmed;
    reportPaintSteps("paint steps, dimming blended on every paint", screen, dimmed);
    dimmed.make(screen);
    reportPaintSteps("paint steps, dimmed copy made once", screen, dimmed);
    reportFormats(screen);
    reportFloor(screen);

    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) hold(std::atoi(argv[2]));
    SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    dimmed.reset();
    DestroyWindow(app.mainWindow);
    pump();
    stopShell();
    return 0;
}
