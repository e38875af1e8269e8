#include "capture/support/capture_fixture_win.h"

#include <cstdio>

#include "app/app_state.h"
#include "support/shell_session_win.h"
#include "editor/editor_state.h"

namespace capturetest {

PatternWindow* CaptureFixture::pattern = nullptr;

namespace {

BOOL CALLBACK collectOverlay(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && std::wstring(name) == L"ClipvaneOverlay")
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

LPARAM packed(POINT point) {
    return MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
}

void sendButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
    testsupport::pumpMessages();
}

void pointerTo(POINT client) {
    SetCursorPos(app.virtualScreen.left + client.x, app.virtualScreen.top + client.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;  // a zero move: the position set above
    SendInput(1, &input, sizeof input);
    testsupport::pumpMessages();
}

}  // namespace

void CaptureFixture::SetUpTestSuite() {
    pattern = new PatternWindow;
}

void CaptureFixture::TearDownTestSuite() {
    delete pattern;
    pattern = nullptr;
}

void CaptureFixture::SetUp() {
    ASSERT_TRUE(testsupport::startTestShell());
    // Without a notification area Wine shows the icon in a window of its
    // own at the top-left corner, above everything: out of the pattern's way.
    ShowWindow(FindWindowW(L"__winex11_standalone_tray", nullptr), SW_HIDE);
    testsupport::pumpMessages();
}

void CaptureFixture::TearDown() {
    if (app.overlayWindow) DestroyWindow(app.overlayWindow);
    app.overlayWindow = nullptr;
    app.selecting = false;
    app.busy = false;
    app.screenImage.reset();
    if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
    testsupport::endTestShell();
}

std::vector<HWND> CaptureFixture::overlayWindows() {
    std::vector<HWND> found;
    EnumWindows(collectOverlay, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool CaptureFixture::mainWindowVisible() {
    return IsWindowVisible(app.mainWindow) != 0;
}

void CaptureFixture::pressAt(POINT point) {
    SendMessageW(app.overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, packed(point));
}

void CaptureFixture::moveTo(POINT point) {
    SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, packed(point));
}

void CaptureFixture::releaseAt(POINT point) {
    SendMessageW(app.overlayWindow, WM_LBUTTONUP, 0, packed(point));
}

void CaptureFixture::dragWithMessages(POINT from, POINT to) {
    pressAt(from);
    moveTo(POINT{(from.x + to.x) / 2, (from.y + to.y) / 2});
    moveTo(to);
    releaseAt(to);
    testsupport::pumpMessages();
}

void CaptureFixture::dragWithInput(POINT from, POINT to) {
    pointerTo(from);
    sendButton(MOUSEEVENTF_LEFTDOWN);
    pointerTo(POINT{(from.x + to.x) / 2, (from.y + to.y) / 2});
    pointerTo(to);
    sendButton(MOUSEEVENTF_LEFTUP);
}

int CaptureFixture::patternMismatches(Gdiplus::Bitmap& image, int left, int top) {
    std::vector<std::uint32_t> pixels = bitmapPixels(image);
    int width = static_cast<int>(image.GetWidth());
    int mismatches = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        int x = static_cast<int>(i % width);
        int y = static_cast<int>(i / width);
        std::uint32_t expected = patternColour(left + x, top + y);
        if (pixels[i] == expected) continue;
        if (++mismatches <= 3)
            std::printf("pixel (%d, %d): %08X, pattern %08X\n", x, y, pixels[i], expected);
    }
    return mismatches;
}

}  // namespace capturetest
