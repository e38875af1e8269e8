// The capture in this process, over a window of known pixels: the shot
// must hold exactly what lay under the selection.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "app/app_state.h"
#include "capture/capture.h"
#include "capture/support/screen_pattern_win.h"
#include "editor/editor_state.h"
#include "support/shell_session_win.h"
#include "support/win_process.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

BOOL CALLBACK collectOverlay(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && std::wstring(name) == L"ClipvaneOverlay")
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> overlayWindows() {
    std::vector<HWND> found;
    EnumWindows(collectOverlay, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Pixels of the image that differ from the pattern at (left, top) onward.
int patternMismatches(Gdiplus::Bitmap& image, int left, int top) {
    std::vector<std::uint32_t> pixels = bitmapPixels(image);
    int width = static_cast<int>(image.GetWidth());
    int mismatches = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        mismatches += pixels[i] != patternColour(left + x, top + y);
    }
    return mismatches;
}

// Left-button messages to the overlay, in its client pixels.
void sendMouse(UINT message, POINT point) {
    LPARAM at = MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
    SendMessageW(app.overlayWindow, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
}

// The pointer moved or a button changed through the system's input queue.
void sendInput(DWORD flags, POINT client = {}) {
    if (flags == MOUSEEVENTF_MOVE) SetCursorPos(app.virtualScreen.left + client.x, app.virtualScreen.top + client.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;  // a move of zero: to the position set above
    SendInput(1, &input, sizeof input);
    pumpMessages();
}

// The real shell in this process with the pattern over the screen. The
// pattern stays for the whole suite: taking a full-screen window down is
// slow under Wine without a window manager.
class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pattern = new PatternWindow; }

    static void TearDownTestSuite() {
        delete pattern;
        pattern = nullptr;
    }

    void SetUp() override {
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

    static inline PatternWindow* pattern = nullptr;
};

TEST_F(Capture, FullScreenShotHoldsTheScreenWithoutTheMainWindow) {
    // The main window lies above the pattern: the shot must not show it.
    SetWindowPos(app.mainWindow, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    pumpMessages();
    startCapture(false);

    EXPECT_EQ(app.virtualScreen.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(app.virtualScreen.height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    ASSERT_NE(editorState.baseImage, nullptr);
    Gdiplus::Bitmap& shot = *editorState.baseImage;
    EXPECT_EQ(static_cast<int>(shot.GetWidth()), app.virtualScreen.width);
    EXPECT_EQ(static_cast<int>(shot.GetHeight()), app.virtualScreen.height);
    EXPECT_EQ(patternMismatches(shot, 0, 0), 0);
    EXPECT_EQ(app.screenImage, nullptr);
    EXPECT_FALSE(IsWindowVisible(app.mainWindow));
    EXPECT_TRUE(overlayWindows().empty());
}

TEST_F(Capture, RegionOverlayCoversTheScreenAndADragCutsOutExactlyTheDraggedPixels) {
    startCapture(true);
    ASSERT_NE(app.overlayWindow, nullptr);
    pumpMessages();
    RECT frame{};
    GetWindowRect(app.overlayWindow, &frame);
    EXPECT_EQ(frame.left, app.virtualScreen.left);
    EXPECT_EQ(frame.top, app.virtualScreen.top);
    EXPECT_EQ(frame.right - frame.left, app.virtualScreen.width);
    EXPECT_EQ(frame.bottom - frame.top, app.virtualScreen.height);
    LONG_PTR style = GetWindowLongPtrW(app.overlayWindow, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_EX_TOPMOST);
    EXPECT_TRUE(style & WS_EX_TOOLWINDOW);  // out of the taskbar and Alt+Tab
    wchar_t title[32] = {};
    GetWindowTextW(app.overlayWindow, title, 32);
    EXPECT_STREQ(title, L"Выделить область");
    EXPECT_EQ(GetFocus(), app.overlayWindow);
    EXPECT_FALSE(IsWindowVisible(app.mainWindow));

    // Through the input queue: the pointer really moves and the messages
    // come from the mouse capture.
    sendInput(MOUSEEVENTF_MOVE, {100, 80});
    sendInput(MOUSEEVENTF_LEFTDOWN);
    sendInput(MOUSEEVENTF_MOVE, {260, 205});
    sendInput(MOUSEEVENTF_MOVE, {420, 330});
    sendInput(MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(app.overlayWindow, nullptr);
    EXPECT_TRUE(overlayWindows().empty());
    EXPECT_EQ(app.screenImage, nullptr);
    ASSERT_NE(editorState.baseImage, nullptr);
    Gdiplus::Bitmap& shot = *editorState.baseImage;
    EXPECT_EQ(static_cast<int>(shot.GetWidth()), 320);
    EXPECT_EQ(static_cast<int>(shot.GetHeight()), 250);
    EXPECT_EQ(shot.GetPixelFormat(), PixelFormat32bppARGB);
    EXPECT_EQ(patternMismatches(shot, 100, 80), 0);
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
    EXPECT_EQ(overlayWindows().size(), 1u);
    EXPECT_NE(app.overlayWindow, nullptr);
}

TEST_F(Capture, EscapeRightClickCloseAndDragsUnderTwoPixelsCancel) {
    const std::function<void()> cancels[] = {
        [] { SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0); },
        [] { SendMessageW(app.overlayWindow, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, MAKELPARAM(400, 400)); },
        [] { SendMessageW(app.overlayWindow, WM_CLOSE, 0, 0); },
        [] { sendMouse(WM_LBUTTONUP, {11, 900}); },  // one pixel wide
        [] { sendMouse(WM_LBUTTONUP, {10, 10}); },   // a click
    };
    for (std::size_t row = 0; row < std::size(cancels); ++row) {
        SCOPED_TRACE(row);
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
        sendMouse(WM_LBUTTONDOWN, {10, 10});
        sendMouse(WM_MOUSEMOVE, {400, 400});
        cancels[row]();
        pumpMessages();
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_TRUE(overlayWindows().empty());
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_EQ(editorState.editorWindow, nullptr);
        EXPECT_TRUE(IsWindowVisible(app.mainWindow));
        // Wine hands the foreground over asynchronously to unmanaged windows.
        EXPECT_TRUE(testsupport::waitFor([] {
            pumpMessages();
            return GetForegroundWindow() == app.mainWindow;
        }, std::chrono::seconds(3)));
    }
}

int channel(std::uint32_t colour, int shift) {
    return static_cast<int>((colour >> shift) & 0xFF);
}

// Every channel of the dimmed copy is at most 255 × 135 / 255: anything
// brighter is the frame or text.
bool bright(std::uint32_t colour) {
    return channel(colour, 16) > 0xA0 && channel(colour, 8) > 0xA0 && channel(colour, 0) > 0xA0;
}

// The pattern under black at alpha 120, to within rounding.
bool dimmedPattern(std::uint32_t shown, int x, int y) {
    for (int shift : {16, 8, 0}) {
        int expected = channel(patternColour(x, y), shift) * (255 - 120) / 255;
        if (std::abs(channel(shown, shift) - expected) > 1) return false;
    }
    return true;
}

TEST_F(Capture, MidDragShowsTheSelectionClearFramedInLightGreyAndLabelledOnTheDimmedCopy) {
    SetCursorPos(GetSystemMetrics(SM_XVIRTUALSCREEN) + 900, GetSystemMetrics(SM_YVIRTUALSCREEN) + 700);
    startCapture(true);
    ASSERT_NE(app.overlayWindow, nullptr);
    pumpMessages();
    const int left = 200, top = 150, right = 840, bottom = 630;
    sendMouse(WM_LBUTTONDOWN, {right, bottom});
    sendMouse(WM_MOUSEMOVE, {left, top});
    UpdateWindow(app.overlayWindow);
    pumpMessages();
    Sleep(150);
    pumpMessages();

    // Inside the selection the pattern itself, the frame (two pixels either
    // side of its edge) not looked at, "640 × 480" light above it, and the
    // dimmed pattern everywhere else.
    const RECT clear{left + 2, top + 2, right - 2, bottom - 2}, framed{left - 2, top - 2, right + 2, bottom + 2};
    const RECT label{left + 8, top - 30, left + 258, top - 2};
    int width = app.virtualScreen.width, height = app.virtualScreen.height;
    std::vector<std::uint32_t> pixels = screenPixels(0, 0, width, height);
    int notOriginal = 0, lightInLabel = 0, notDimmed = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = pixels[static_cast<size_t>(y) * width + x];
            POINT at{x, y};
            if (PtInRect(&clear, at))
                notOriginal += colour != (patternColour(x, y) & 0x00FFFFFF);
            else if (PtInRect(&label, at))
                lightInLabel += bright(colour);
            else if (!PtInRect(&framed, at))
                notDimmed += !dimmedPattern(colour, x, y);
        }
    EXPECT_EQ(notOriginal, 0);
    EXPECT_EQ(notDimmed, 0);
    EXPECT_GT(lightInLabel, 30);

    // The frame: two pixels wide on each edge.
    std::vector<std::uint32_t> across = screenPixels(left - 2, top + 200, 5, 1);
    std::vector<std::uint32_t> down = screenPixels(left + 300, bottom - 2, 1, 5);
    across.insert(across.end(), down.begin(), down.end());
    EXPECT_EQ(std::count(across.begin(), across.end(), 0xE5E5E5u), 4);
}

}  // namespace
