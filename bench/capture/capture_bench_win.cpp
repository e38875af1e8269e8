// Screen copy and region overlay figures at the current screen size: the
// process's memory at each step of a shot, from idle through the overlay and
// the editor to the export, counted in full-screen copies; the copy; the
// hot key to the overlay's first completed paint less the settle, beside
// one copy plus one full-screen blit; and one repaint per mouse move during
// a drag, whole and step by step, with the dimming blended on every paint
// and with the dimmed copy made once. A plain GDI BitBlt of the whole screen
// copy stands beside them as the floor. Milliseconds; prints figures only.
// "--hold N" keeps the overlay open mid-drag for N seconds afterwards, for a
// screenshot.

#include <windows.h>
#include <dwmapi.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "capture/dimmed_copy_win.h"
#include "capture/overlay_paint_win.h"
#include "capture/overlay_win.h"
#include "capture/screen_copy_win.h"
#include "editor/editor_state.h"
#include "editor/export.h"
#include "../support/process_memory_win.h"

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
    return overlayScene(true, {start.x / 2, start.y / 2}, {end.x, end.y}, {});
}

void flushed(Gdiplus::Graphics& graphics) {
    graphics.Flush(Gdiplus::FlushIntentionSync);
    GdiFlush();
}

void reportCopy() {
    std::printf("screen copy\n");
    VirtualScreen screen = readVirtualScreen();
    Figures copy = measure(20, [&](int) { copyScreen(screen); });
    report("copyScreen (the copy as the program makes it)", copy);

    ScreenDc screenDc;
    MemoryDc memory(CreateCompatibleDC(screenDc.get()));
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screenDc.get(), screen.width, screen.height));
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    Figures floor = measure(20, [&](int) {
        BitBlt(memory.get(), 0, 0, screen.width, screen.height, screenDc.get(), screen.left, screen.top,
               SRCCOPY | CAPTUREBLT);
        GdiFlush();
    });
    SelectObject(memory.get(), previous);
    report("floor: BitBlt of the screen into a memory bitmap", floor);
    std::printf("  copy / floor: %.2f\n", copy.median / floor.median);
    report("  the floor into a new DIB section each time", measure(20, [&](int) {
               DibCanvas fresh(screen.width, screen.height);
               BitBlt(fresh.dc(), 0, 0, screen.width, screen.height, screenDc.get(), screen.left, screen.top,
                      SRCCOPY | CAPTUREBLT);
               GdiFlush();
           }));
}

// The region hot key through the main window's message loop, as the user
// presses it, until the overlay's first WM_PAINT has returned. Milliseconds
// to the end of the capture command and to the end of that paint; both -1
// when no overlay came.
struct HotKeyRun {
    double command = -1;
    double painted = -1;
};

HotKeyRun pressRegionHotKey() {
    HotKeyRun run;
    auto start = Clock::now();
    PostMessageW(app.mainWindow, WM_HOTKEY, HOTKEY_REGION, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'S'));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (message.message == WM_HOTKEY) {
            if (!app.overlayWindow) return run;
            run.command = millisecondsSince(start);
        }
        if (message.message == WM_PAINT && message.hwnd && message.hwnd == app.overlayWindow) {
            GdiFlush();
            run.painted = millisecondsSince(start);
            return run;
        }
    }
    return run;
}

void cancelOverlay() {
    if (app.overlayWindow) SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    pump();
}

// The least the hot key path can cost: the screen copied once into memory a
// picture can use, and that copy put on the full-screen overlay once.
Figures copyAndBlitFloor() {
    startCapture(true);
    VirtualScreen screen = app.virtualScreen;
    DibCanvas copy(screen.width, screen.height);
    ScreenDc screenDc;
    ScreenDc overlayDc(app.overlayWindow);
    Figures floor = measure(10, [&](int) {
        BitBlt(copy.dc(), 0, 0, screen.width, screen.height, screenDc.get(), screen.left, screen.top,
               SRCCOPY | CAPTUREBLT);
        BitBlt(overlayDc.get(), 0, 0, screen.width, screen.height, copy.dc(), 0, 0, SRCCOPY);
        GdiFlush();
    });
    cancelOverlay();
    return floor;
}

// The overlay opened over a screen copy already made, and its first paint.
void reportOverlayOpening() {
    app.virtualScreen = readVirtualScreen();
    app.screenImage = copyScreen(app.virtualScreen);
    std::vector<double> opening, firstPaint;
    for (int run = 0; run < 5; ++run) {
        auto start = Clock::now();
        openOverlay();
        opening.push_back(millisecondsSince(start));
        start = Clock::now();
        UpdateWindow(app.overlayWindow);
        GdiFlush();
        firstPaint.push_back(millisecondsSince(start));
        DestroyWindow(std::exchange(app.overlayWindow, nullptr));
        pump();
    }
    app.screenImage.reset();
    report("  opening the overlay (dimmed copy, window, show, focus)", summary(opening));
    report("  its first WM_PAINT", summary(firstPaint));
}

void reportHotKeyPath() {
    constexpr int kRuns = 7;
    std::printf("region hot key to the overlay's first completed paint, less the settle (%d runs)\n", kRuns);
    Figures settle = measure(kRuns, [](int) {
        DwmFlush();
        Sleep(180);
    });
    std::vector<double> command, painted;
    for (int run = 0; run < kRuns; ++run) {
        ShowWindow(app.mainWindow, SW_SHOW);
        pump();
        HotKeyRun times = pressRegionHotKey();
        cancelOverlay();
        if (times.painted < 0) {
            std::printf("  no overlay opened\n");
            return;
        }
        command.push_back(times.command - settle.median);
        painted.push_back(times.painted - settle.median);
    }
    ShowWindow(app.mainWindow, SW_SHOW);
    pump();
    Figures floor = copyAndBlitFloor();
    Figures whole = summary(painted);
    report("the settle itself (DwmFlush + Sleep 180), subtracted", settle);
    report("WM_HOTKEY to the end of the first WM_PAINT", whole);
    report("  of which the capture command (hide, copy, dim, window)", summary(command));
    report("floor: one BitBlt of the screen + one onto the overlay", floor);
    std::printf("  hot key path / floor: %.2f\n", whole.median / floor.median);

    reportOverlayOpening();
    std::unique_ptr<Gdiplus::Bitmap> copy = copyScreen(readVirtualScreen());
    DimmedCopy dimmed;
    report("  the dimmed copy, made once", measure(5, [&](int) { dimmed.make(*copy); }));
    ShowWindow(app.mainWindow, SW_SHOW);
    pump();
    report("  hiding and showing the main window", measure(3, [&](int) {
               ShowWindow(app.mainWindow, SW_HIDE);
               ShowWindow(app.mainWindow, SW_SHOW);
           }));
}

// Private bytes and working set at each step of one shot of the whole
// screen, in full-screen copies above the idle figure.
void reportMemory() {
    VirtualScreen screen = readVirtualScreen();
    double copyMb = screen.width * 4.0 * screen.height / (1024.0 * 1024.0);
    std::printf("memory at each step of a shot; one full-screen 32-bit copy is %.1f MB\n", copyMb);
    ShowWindow(app.mainWindow, SW_SHOW);
    pump();
    MemoryFigures idle = memoryNow();
    printMemoryStep("idle", idle, idle, copyMb);
    {
        MemoryPeak during;
        std::unique_ptr<Gdiplus::Bitmap> copy = copyScreen(screen);
        printMemoryStep("copying the screen (peak)", during.peak(), idle, copyMb);
        printMemoryStep("after the copy", memoryNow(), idle, copyMb);
    }
    {
        MemoryPeak during;
        if (pressRegionHotKey().painted < 0) return;
        printMemoryStep("hot key to the overlay's first paint (peak)", during.peak(), idle, copyMb);
    }
    printMemoryStep("overlay open", memoryNow(), idle, copyMb);
    {
        MemoryPeak during;
        SendMessageW(app.overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(screen.width, screen.height));
        UpdateWindow(app.overlayWindow);
        SendMessageW(app.overlayWindow, WM_LBUTTONUP, 0, MAKELPARAM(screen.width, screen.height));
        if (!editorState.editorWindow) return;
        UpdateWindow(editorState.editorWindow);
        pump();
        printMemoryStep("whole screen selected to the editor's paint (peak)", during.peak(), idle, copyMb);
    }
    printMemoryStep("editor open", memoryNow(), idle, copyMb);
    printPeakOf("flattening and encoding the PNG (peak)", [] { flattenedPng(); }, idle, copyMb);
    printPeakOf("copying to the clipboard (peak)", copyImageToClipboard, idle, copyMb);
    DestroyWindow(editorState.editorWindow);
    pump();
    printMemoryStep("editor closed", memoryNow(), idle, copyMb);
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
    reportMemory();
    reportCopy();
    reportHotKeyPath();

    ShowWindow(app.mainWindow, SW_SHOW);
    startCapture(true);
    UpdateWindow(app.overlayWindow);
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
