// The capture in this process on two monitors (tests/support/two_monitors.sh)
// over a window of known pixels: the overlay and every shot must show exactly
// what lay beneath, on either monitor and across both.

#include <array>
#include <cstdlib>
#include <memory>

#include "app/controls.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "capture/support/screen_pattern_win.h"
#include "editor/editor_state.h"
#include "support/pixels_win.h"
#include "support/win_harness.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

// The desktop in screen pixels; in its own (the overlay's client area) the
// left monitor is (0, 0, 1280, 1024), the primary (1280, 0, 3200, 1080).
// Below the left one's foot nothing is shown, so nothing there is looked at.
constexpr RECT kDesktop{-1280, 0, 1920, 1080};
constexpr int kWidth = 3200, kHeight = 1080;

bool onMonitor(int x, int y) { return x >= 1280 || y < 1024; }

// The overlays open in this process (the display is this test's own).
int overlayCount() {
    int count = 0;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"ClipvaneOverlay", nullptr));) ++count;
    return count;
}

// The pointer moved to a point of the virtual screen, or a button changed,
// through the system's input queue.
void sendInput(DWORD flags, POINT at = {}) {
    if (flags == MOUSEEVENTF_MOVE) SetCursorPos(kDesktop.left + at.x, kDesktop.top + at.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;  // a move of zero: to the position set above
    SendInput(1, &input, sizeof input);
    pumpMessages();
}

// The real shell in this process with the pattern over the screen, for the
// whole suite: a full-screen window is slow to go under Wine.
class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pattern = std::make_unique<PatternWindow>(); }
    static void TearDownTestSuite() { pattern.reset(); }

    void SetUp() override {
        ASSERT_EQ((std::array{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                              GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                              GetSystemMetrics(SM_CMONITORS)}),
                  (std::array<int, 5>{kDesktop.left, kDesktop.top, kWidth, kHeight, 2})) << "not the two-monitor desktop of two_monitors.sh";
        ASSERT_TRUE(testsupport::startTestShell());
        // Without a notification area Wine shows the icon in a window of its
        // own at the top-left corner, above everything: out of the pattern's way.
        ShowWindow(FindWindowW(L"__winex11_standalone_tray", nullptr), SW_HIDE);
        pumpMessages();
    }

    void TearDown() override {
        if (app.overlayWindow) DestroyWindow(app.overlayWindow);
        app.overlayWindow = nullptr;
        app.selecting = false;
        app.screenImage.reset();
        if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
        testsupport::endTestShell();
    }

    static inline std::unique_ptr<PatternWindow> pattern;
};

int channel(std::uint32_t colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

// Every channel of the dimmed copy is at most 255 x 135 / 255: anything
// brighter is the frame or text.
bool bright(std::uint32_t colour) { return channel(colour, 16) > 0xA0 && channel(colour, 8) > 0xA0 && channel(colour, 0) > 0xA0; }

// The pattern under black at alpha 120, to within rounding.
bool dimmedPattern(std::uint32_t shown, int x, int y) {
    std::uint32_t original = patternColour(x, y);
    for (int shift : {16, 8, 0}) {
        if (std::abs(channel(shown, shift) - channel(original, shift) * (255 - 120) / 255) > 1) return false;
    }
    return true;
}

// The desktop as the monitors show it once the overlay has painted.
testsupport::Pixels shown() {
    UpdateWindow(app.overlayWindow);
    pumpMessages();
    Sleep(150);
    pumpMessages();
    return testsupport::renderWith(kWidth, kHeight, [](HDC dc) {
        BitBlt(dc, 0, 0, kWidth, kHeight, ScreenDc().get(), kDesktop.left, kDesktop.top, SRCCOPY);
    });
}

// How the overlay shows the pattern on the monitors: undimmed inside
// `clear`, dimmed everywhere but there, in `text` and in `skipped`; and how
// many light pixels of text lie in `text`.
struct OverlayLook { int notClear = 0; int notDimmed = 0; int text = 0; };

OverlayLook lookAt(const testsupport::Pixels& shown, const RECT& clear, const RECT& text, const RECT& skipped) {
    OverlayLook look;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (!onMonitor(x, y)) continue;
            std::uint32_t colour = shown.at(x, y);
            if (PtInRect(&clear, {x, y}))
                look.notClear += colour != patternColour(x, y);
            else if (PtInRect(&text, {x, y}))
                look.text += bright(colour);
            else if (!PtInRect(&skipped, {x, y}))
                look.notDimmed += !dimmedPattern(colour, x, y);
        }
    return look;
}

// Drags with real input, in the virtual screen's pixels. The pointer cannot
// leave the desktop: a move beyond its edge stops there.
// `shot`: the selection, what the editor must get; `hint`: where the hint
// stands with the pointer at the start.
struct Drag { const char* where; POINT start, end; RECT shot; POINT hint; };

const Drag kDrags[] = {
    {"on the left monitor", {280, 300}, {600, 520}, {280, 300, 600, 520}, {280, 328}},
    {"across both, up and to the left", {1700, 760}, {1100, 400}, {1100, 400, 1700, 760}, {1700, 788}},
    {"near the primary's right edge", {3000, 900}, {2400, 500}, {2400, 500, 3000, 900}, {2650, 928}},
    {"from the left monitor's foot past the desktop's left edge", {200, 1010}, {-200, 900}, {0, 900, 200, 1010},
     {200, 974}},
};

// The overlay covers the desktop and opens with the dimmed copy on both
// monitors and the hint below the pointer on the pointer's monitor; the
// drag shows the selection clear, framed in light grey and labelled above;
// the editor gets exactly the pixels that lay under it.
TEST_F(Capture, DragsOnEitherMonitorAndAcrossShowAndCutOutExactlyThePixelsBeneath) {
    for (const Drag& drag : kDrags) {
        SCOPED_TRACE(drag.where);
        sendInput(MOUSEEVENTF_MOVE, drag.start);
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        RECT frame{};
        GetWindowRect(app.overlayWindow, &frame);
        EXPECT_TRUE(EqualRect(&frame, &kDesktop));
        constexpr LONG_PTR kOnTopOutOfAltTab = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
        EXPECT_EQ(GetWindowLongPtrW(app.overlayWindow, GWL_EXSTYLE) & kOnTopOutOfAltTab, kOnTopOutOfAltTab);
        EXPECT_EQ(readWindowText(app.overlayWindow), L"Выделить область");
        EXPECT_EQ(GetFocus(), app.overlayWindow);
        EXPECT_FALSE(IsWindowVisible(app.mainWindow));

        const RECT hint{drag.hint.x, drag.hint.y, drag.hint.x + 550, drag.hint.y + 40};
        OverlayLook opened = lookAt(shown(), {}, hint, {});
        EXPECT_EQ(opened.notDimmed, 0);
        EXPECT_GT(opened.text, 200);

        sendInput(MOUSEEVENTF_LEFTDOWN);
        sendInput(MOUSEEVENTF_MOVE, drag.end);
        const RECT& area = drag.shot;
        testsupport::Pixels dragging = shown();
        const RECT clear{area.left + 2, area.top + 2, area.right - 2, area.bottom - 2};
        const RECT framed{area.left - 2, area.top - 2, area.right + 2, area.bottom + 2};
        const RECT label{area.left + 8, area.top - 30, area.left + 258, area.top - 2};
        OverlayLook selected = lookAt(dragging, clear, label, framed);
        EXPECT_EQ(selected.notClear, 0);
        EXPECT_EQ(selected.notDimmed, 0);
        EXPECT_GT(selected.text, 30);
        // The frame: two pixels wide on the right and the bottom edge.
        int grey = 0;
        for (int step = -2; step <= 2; ++step) {
            grey += dragging.at(area.right + step, (area.top + area.bottom) / 2) == 0xFFE5E5E5u;
            grey += dragging.at((area.left + area.right) / 2, area.bottom + step) == 0xFFE5E5E5u;
        }
        EXPECT_EQ(grey, 4);

        sendInput(MOUSEEVENTF_LEFTUP);
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_EQ(overlayCount(), 0);
        EXPECT_EQ(app.screenImage, nullptr);
        ASSERT_NE(editorState.baseImage, nullptr);
        Gdiplus::Bitmap& shot = *editorState.baseImage;
        EXPECT_EQ((std::array<LONG, 2>{LONG(shot.GetWidth()), LONG(shot.GetHeight())}),
                  (std::array{area.right - area.left, area.bottom - area.top}));
        EXPECT_EQ(shot.GetPixelFormat(), PixelFormat32bppARGB);
        testsupport::Pixels cut = testsupport::pixelsOf(shot);
        int mismatches = 0;  // where a monitor shows the pattern
        for (int y = 0; y < cut.height; ++y)
            for (int x = 0; x < cut.width; ++x)
                mismatches += onMonitor(area.left + x, area.top + y) && cut.at(x, y) != patternColour(area.left + x, area.top + y);
        EXPECT_EQ(mismatches, 0);
        DestroyWindow(editorState.editorWindow);
    }
}

// Calls startCapture once more from inside the capture, when the main
// window is being hidden: before the overlay exists.
WNDPROC originalMainProc = nullptr;
int nestedCalls = 0;

LRESULT CALLBACK reenteringMainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SHOWWINDOW && !wParam && nestedCalls++ == 0) startCapture(true);
    return CallWindowProcW(originalMainProc, window, message, wParam, lParam);
}

TEST_F(Capture, NestedCallDuringTheCopyStartsNothing) {
    nestedCalls = 0;
    originalMainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(app.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reenteringMainProc)));
    startCapture(true);
    SetWindowLongPtrW(app.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalMainProc));

    EXPECT_GE(nestedCalls, 1);
    EXPECT_EQ(overlayCount(), 1);
    EXPECT_NE(app.overlayWindow, nullptr);
}

// Which drags are too small to take is the selection geometry's table.
TEST_F(Capture, EscapeRightClickAndCloseCancel) {
    const std::function<void()> cancels[] = {
        [] { SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0); },
        [] { SendMessageW(app.overlayWindow, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, MAKELPARAM(400, 400)); },
        [] { SendMessageW(app.overlayWindow, WM_CLOSE, 0, 0); },
    };
    for (std::size_t row = 0; row < std::size(cancels); ++row) {
        SCOPED_TRACE(row);
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
        SendMessageW(app.overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(400, 400));
        cancels[row]();
        pumpMessages();
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_EQ(overlayCount(), 0);
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_EQ(editorState.editorWindow, nullptr);
        EXPECT_TRUE(IsWindowVisible(app.mainWindow));
        // Wine hands the foreground over asynchronously to unmanaged windows.
        EXPECT_TRUE(testsupport::pumpUntil([] { return GetForegroundWindow() == app.mainWindow; }));
    }
}

}  // namespace
