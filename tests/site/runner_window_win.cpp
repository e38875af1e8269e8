#include "runner_window.h"

namespace {

constexpr UINT_PTR kGuardTimer = 77;
constexpr UINT kGuardMs = 120000;
bool guardExpired = false;

LRESULT CALLBACK runnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_REQUEST_DONE) {
        onRequestDone(lParam);
        return 0;
    }
    if (message == WM_TIMER && wParam == kGuardTimer) {
        guardExpired = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

RunnerWindow::RunnerWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = runnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ClipvaneRunnerTest";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"ClipvaneRunnerTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    app.mainWindow = window_;
}

RunnerWindow::~RunnerWindow() {
    if (app.workerThread.joinable()) app.workerThread.join();
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    app.mainWindow = nullptr;
    DestroyWindow(window_);
}

bool RunnerWindow::pumpUntil(const std::function<bool()>& condition) {
    guardExpired = false;
    SetTimer(window_, kGuardTimer, kGuardMs, nullptr);
    MSG message;
    while (!condition() && !guardExpired && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    KillTimer(window_, kGuardTimer);
    return condition();
}
