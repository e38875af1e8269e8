#pragma once
// A window of known pixels over the whole virtual screen, so a test knows
// what a screen copy must hold.

#include <windows.h>

#include <cstdint>
#include <thread>

#include "app/win_handles.h"
#include "capture/screen_copy_win.h"

namespace capturetest {

// Every pixel differs from its neighbours and tells its own place: red is
// x, green is y (low bytes), blue carries the high bits of both. Opaque.
inline std::uint32_t patternColour(int x, int y) {
    auto ux = static_cast<std::uint32_t>(x), uy = static_cast<std::uint32_t>(y);
    return 0xFF000000u | (ux & 0xFF) << 16 | (uy & 0xFF) << 8 | ((ux >> 8) & 0x0F) | ((uy >> 8) & 0x0F) << 4;
}

// A topmost popup over the virtual screen painting patternColour at every
// point (x, y) relative to the virtual screen's top-left corner. It runs on
// a thread of its own, like another program's window: it repaints what a
// hidden window uncovers while the test's thread waits in the capture.
class PatternWindow {
public:
    PatternWindow() {
        UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread(&PatternWindow::run, this, ready.get());
        WaitForSingleObject(ready.get(), INFINITE);
    }
    ~PatternWindow() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
        UnregisterClassW(kClass, GetModuleHandleW(nullptr));
    }
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

private:
    static constexpr wchar_t kClass[] = L"ClipvaneTestPattern";

    static void paint(HWND window) {
        PaintScope paint(window);
        VirtualScreen screen = readVirtualScreen();
        DibCanvas canvas(screen.width, screen.height);
        if (!canvas.valid()) return;
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x) canvas.pixels()[std::size_t(y) * screen.width + x] = patternColour(x, y);
        BitBlt(paint.dc(), 0, 0, screen.width, screen.height, canvas.dc(), 0, 0, SRCCOPY);
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_PAINT: paint(window); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void run(HANDLE ready) {
        WNDCLASSEXW windowClass{sizeof windowClass};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClass;
        RegisterClassExW(&windowClass);
        VirtualScreen screen = readVirtualScreen();
        window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClass, L"pattern", WS_POPUP,
                                  screen.left, screen.top, screen.width, screen.height, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);
        SetEvent(ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }

    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace capturetest
