#include "app/startup.h"

#include <dwmapi.h>
#include <objbase.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "app/win_handles.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "storage/settings.h"

namespace {

constexpr wchar_t kInstanceMutex[] = L"Local\\Clipvane.Desktop";
constexpr wchar_t kMainClass[] = L"ClipvaneMain";
constexpr UINT kAutoRefreshMs = 300000;

void createSharedGdiObjects() {
    app.backgroundBrush = CreateSolidBrush(RGB(17, 17, 17));
    app.fieldBrush = CreateSolidBrush(RGB(32, 32, 32));
    app.uiFont = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
}

void deleteSharedGdiObjects() {
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(app.uiFont), static_cast<HGDIOBJ>(app.backgroundBrush),
                           static_cast<HGDIOBJ>(app.fieldBrush)}) {
        if (object) DeleteObject(object);
    }
    app.uiFont = nullptr;
    app.backgroundBrush = nullptr;
    app.fieldBrush = nullptr;
}

void registerClass(const wchar_t* name, WNDPROC procedure, LPCWSTR cursor) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = app.instance;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, cursor);
    windowClass.hbrBackground = app.backgroundBrush;
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

void registerWindowClasses() {
    registerClass(kMainClass, mainProc, IDC_ARROW);
    registerClass(L"ClipvaneEditor", editorProc, IDC_ARROW);
    registerClass(L"ClipvaneOverlay", overlayProc, IDC_CROSS);
}

bool createMainWindow() {
    // The system's DPI until the window exists and can tell its own.
    SIZE first = mainFrameSize(GetDpiForSystem());
    HWND window = CreateWindowExW(0, kMainClass, L"Clipvane", kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT, first.cx,
                                  first.cy, nullptr, nullptr, app.instance, nullptr);
    app.mainWindow = window;
    if (!window) return false;
    // Its controls are laid out for its own DPI: started on a monitor of
    // another scale, a window of the system's size would cut them off.
    SIZE size = mainFrameSize(app.mainDpi);
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    BOOL dark = TRUE;
    DwmSetWindowAttribute(window, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof dark);
    shapeMainWindow(window);
    return true;
}

void registerHotKeys() {
    bool region = RegisterHotKey(app.mainWindow, HOTKEY_REGION, MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT, 'S');
    bool full = RegisterHotKey(app.mainWindow, HOTKEY_FULLSCREEN, MOD_NOREPEAT, VK_SNAPSHOT);
    setStatus(region && full ? L"Ctrl+Shift+S — область • Print Screen — весь экран"
                             : L"Часть горячих клавиш занята. Используйте кнопки");
}

void startLibraries() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&app.gdiplusToken, &input, nullptr);
}

void stopLibraries() {
    if (app.gdiplusToken) Gdiplus::GdiplusShutdown(app.gdiplusToken);
    app.gdiplusToken = 0;
    CoUninitialize();
}

void showRunningInstance() {
    HWND running = FindWindowW(kMainClass, nullptr);
    ShowWindow(running, SW_SHOW);
    SetForegroundWindow(running);
}

}  // namespace

bool startShell(HINSTANCE instance) {
    app.instance = instance;
    startLibraries();
    createSharedGdiObjects();
    loadSettings();
    app.profile = nlohmann::json::object();
    registerWindowClasses();
    if (!createMainWindow()) {
        stopShell();
        return false;
    }
    addTrayIcon();
    registerHotKeys();
    ShowWindow(app.mainWindow, SW_SHOW);
    UpdateWindow(app.mainWindow);
    SetTimer(app.mainWindow, TIMER_AUTO_REFRESH, kAutoRefreshMs, nullptr);
    if (!app.token.empty()) PostMessageW(app.mainWindow, WM_COMMAND, 103 /* ID_REFRESH */, 0);
    return true;
}

void runMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        HWND editor = editorState.editorWindow;
        if (editor && IsDialogMessageW(editor, &message)) continue;
        if (app.mainWindow && IsDialogMessageW(app.mainWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void stopShell() {
    if (app.workerThread.joinable()) app.workerThread.join();
    app.screenImage.reset();
    editorState.baseImage.reset();
    deleteSharedGdiObjects();
    stopLibraries();
}

int runClipvane(HINSTANCE instance) {
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, kInstanceMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        showRunningInstance();
        return 0;
    }
    // Without a main window nothing could ever be shown, and the mutex would
    // keep every later start from showing anything either: end instead.
    if (!startShell(instance)) {
        ReleaseMutex(mutex.get());
        return 1;
    }
    runMessageLoop();
    stopShell();
    ReleaseMutex(mutex.get());
    return 0;
}
