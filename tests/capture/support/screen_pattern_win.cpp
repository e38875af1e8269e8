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

std::vector<std::uint32_t> bitmapPixels(Gdiplus::Bitmap& bitmap) {
    int width = static_cast<int>(bitmap.GetWidth());
    int height = static_cast<int>(bitmap.GetHeight());
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    Gdiplus::BitmapData data{};
    data.Width = width;
    data.Height = height;
    data.Stride = width * 4;
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = pixels.data();
    Gdiplus::Rect whole(0, 0, width, height);
    bitmap.LockBits(&whole, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                    &data);
    bitmap.UnlockBits(&data);
    return pixels;
}

std::vector<std::uint32_t> screenPixels(int x, int y, int width, int height) {
    VirtualScreen screen = readVirtualScreen();
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    DibCanvas canvas(width, height);
    if (!canvas.valid()) return pixels;
    ScreenDc screenDc;
    BitBlt(canvas.dc(), 0, 0, width, height, screenDc.get(), screen.left + x, screen.top + y, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = canvas.pixels()[i] & 0x00FFFFFF;
    return pixels;
}

}  // namespace capturetest
