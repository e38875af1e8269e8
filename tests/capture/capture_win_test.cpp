#include <gtest/gtest.h>

#include "app/app_state.h"
#include "capture/capture.h"
#include "capture/support/capture_fixture_win.h"
#include "editor/editor_state.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

class StartCapture : public CaptureFixture {};

TEST_F(StartCapture, FullScreenShotHoldsTheScreenWithoutTheMainWindow) {
    // The main window lies above the pattern: the shot must not show it.
    SetWindowPos(app.mainWindow, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    pumpMessages();
    startCapture(false);

    EXPECT_EQ(app.virtualScreen.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(app.virtualScreen.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(app.virtualScreen.height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    ASSERT_NE(editorState.editorWindow, nullptr);
    ASSERT_NE(editorState.baseImage, nullptr);
    Gdiplus::Bitmap& shot = *editorState.baseImage;
    EXPECT_EQ(static_cast<int>(shot.GetWidth()), app.virtualScreen.width);
    EXPECT_EQ(static_cast<int>(shot.GetHeight()), app.virtualScreen.height);
    EXPECT_EQ(patternMismatches(shot, 0, 0), 0);
    EXPECT_EQ(app.screenImage, nullptr);
    EXPECT_FALSE(mainWindowVisible());
    EXPECT_TRUE(overlayWindows().empty());
}

TEST_F(StartCapture, RegionModeOpensTheOverlayOverTheVirtualScreen) {
    startCapture(true);

    ASSERT_NE(app.overlayWindow, nullptr);
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
    EXPECT_EQ(GetForegroundWindow(), app.overlayWindow);
    EXPECT_EQ(GetFocus(), app.overlayWindow);
    EXPECT_FALSE(app.selecting);
    EXPECT_FALSE(mainWindowVisible());
    ASSERT_NE(app.screenImage, nullptr);
    EXPECT_EQ(patternMismatches(*app.screenImage, 0, 0), 0);
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

TEST_F(StartCapture, BusyRequestIgnoresBothModes) {
    app.busy = true;
    std::wstring status = app.statusLine;
    for (bool region : {true, false}) {
        startCapture(region);
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_EQ(editorState.editorWindow, nullptr);
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_TRUE(mainWindowVisible());
        EXPECT_EQ(app.statusLine, status);
    }
}

TEST_F(StartCapture, OpenEditorIsRaisedAndNothingIsCaptured) {
    startCapture(false);
    HWND editor = editorState.editorWindow;
    ASSERT_NE(editor, nullptr);
    Gdiplus::Bitmap* shot = editorState.baseImage.get();
    SetForegroundWindow(app.mainWindow);
    pumpMessages();

    for (bool region : {true, false}) {
        startCapture(region);
        EXPECT_EQ(app.statusLine, L"Закройте редактор, чтобы сделать новый снимок");
        EXPECT_EQ(GetForegroundWindow(), editor);
        EXPECT_EQ(editorState.editorWindow, editor);
        EXPECT_EQ(editorState.baseImage.get(), shot);
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_EQ(app.screenImage, nullptr);
    }
}

TEST_F(StartCapture, HotKeyPressedTwiceOrAnotherCallWhileTheOverlayIsOpenOpensOneOverlay) {
    PostMessageW(app.mainWindow, WM_HOTKEY, HOTKEY_REGION, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'S'));
    PostMessageW(app.mainWindow, WM_HOTKEY, HOTKEY_REGION, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'S'));
    pumpMessages();
    ASSERT_NE(app.overlayWindow, nullptr);
    Gdiplus::Bitmap* copy = app.screenImage.get();
    HWND overlay = app.overlayWindow;
    std::wstring status = app.statusLine;
    startCapture(true);
    startCapture(false);
    EXPECT_EQ(overlayWindows(), std::vector<HWND>{overlay});
    EXPECT_EQ(app.screenImage.get(), copy);
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_EQ(app.statusLine, status);
}

// Calls startCapture once more from inside the capture, when the main
// window is being hidden: before the overlay exists.
WNDPROC originalMainProc = nullptr;
int nestedCalls = 0;

LRESULT CALLBACK reenteringMainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SHOWWINDOW && !wParam && nestedCalls++ == 0) startCapture(true);
    return CallWindowProcW(originalMainProc, window, message, wParam, lParam);
}

TEST_F(StartCapture, NestedCallDuringTheCopyStartsNothing) {
    nestedCalls = 0;
    originalMainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(app.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reenteringMainProc)));
    startCapture(true);
    SetWindowLongPtrW(app.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalMainProc));

    EXPECT_GE(nestedCalls, 1);
    EXPECT_EQ(overlayWindows().size(), 1u);
    EXPECT_NE(app.overlayWindow, nullptr);
}

TEST_F(StartCapture, OverlayThatCannotBeMadeBringsTheMainWindowBack) {
    // Without its class the overlay window cannot be created.
    ASSERT_TRUE(UnregisterClassW(L"ClipvaneOverlay", GetModuleHandleW(nullptr)));
    startCapture(true);

    EXPECT_EQ(app.overlayWindow, nullptr);
    EXPECT_EQ(app.screenImage, nullptr);
    EXPECT_TRUE(mainWindowVisible());
    EXPECT_EQ(app.statusLine, L"Не удалось захватить экран");

    // The next capture works once the class is back.
    WNDCLASSEXW overlayClass{};
    overlayClass.cbSize = sizeof overlayClass;
    overlayClass.lpfnWndProc = overlayProc;
    overlayClass.hInstance = GetModuleHandleW(nullptr);
    overlayClass.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    overlayClass.lpszClassName = L"ClipvaneOverlay";
    ASSERT_TRUE(RegisterClassExW(&overlayClass));
    startCapture(true);
    EXPECT_NE(app.overlayWindow, nullptr);
}

}  // namespace
