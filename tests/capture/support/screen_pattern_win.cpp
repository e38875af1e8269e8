#include "capture/support/screen_pattern_win.h"

#include "app/win_handles.h"
#include "capture/screen_copy_win.h"

namespace capturetest {

namespace {

constexpr wchar_t kPatternClass[] = L"ClipvaneTestPattern";

void paintPattern(HWND window) {
    PaintScope paint(window);
    VirtualScreen screen = readVirtualScreen();
    DibCanvas canvas(screen.width, screen.height);
    if (!canvas.valid()) return;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x)
            canvas.pixels()[static_cast<size_t>(y) * screen.width + x] = patternColour(x, y);
    }
    BitBlt(paint.dc(), 0, 0, screen.width, screen.height, canvas.dc(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK patternProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintPattern(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

std::uint32_t patternColour(int x, int y) {
    std::uint32_t blue = ((static_cast<std::uint32_t>(x) >> 8) & 0x0F) | (((static_cast<std::uint32_t>(y) >> 8) & 0x0F) << 4);
    return 0xFF000000u | (static_cast<std::uint32_t>(x & 0xFF) << 16) | (static_cast<std::uint32_t>(y & 0xFF) << 8) |
           blue;
}

PatternWindow::PatternWindow() {
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread(&PatternWindow::run, this, ready.get());
    WaitForSingleObject(ready.get(), INFINITE);
}

PatternWindow::~PatternWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
    UnregisterClassW(kPatternClass, GetModuleHandleW(nullptr));
}

void PatternWindow::run(HANDLE ready) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = patternProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kPatternClass;
    RegisterClassExW(&windowClass);
    VirtualScreen screen = readVirtualScreen();
    window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPatternClass, L"pattern",
                              WS_POPUP, screen.left, screen.top, screen.width, screen.height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    SetEvent(ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

}  // namespace capturetest
