#pragma once
// The one global state record of the program. Everything here is used on the
// user-interface thread only; the request worker gets copies (see site/).

#include <windows.h>
#include <shellapi.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "storage/settings_format.h"

// The virtual screen rectangle in physical pixels; left and top are negative
// when a monitor lies left of or above the primary one.
struct VirtualScreen {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct AppState {
    // Shell
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    HFONT uiFont = nullptr;
    HBRUSH backgroundBrush = nullptr;
    HBRUSH fieldBrush = nullptr;
    ULONG_PTR gdiplusToken = 0;
    NOTIFYICONDATAW trayIcon{};
    // The DPI the main window is laid out for: its own at creation, then the
    // one each WM_DPICHANGED announces.
    UINT mainDpi = 96;
    std::wstring statusLine = L"Готов к первому снимку";
    int currentPage = 0;
    float indicatorPos = 0.0f;
    float pageProgress = 1.0f;
    int pageDirection = 1;

    // Main window controls
    std::vector<HWND> mainControls;
    HWND siteAddressEdit = nullptr;
    HWND linkCodeEdit = nullptr;

    // Settings
    std::wstring settingsPath;
    nlohmann::json settingsDoc = nlohmann::json::object();
    std::wstring siteAddress = kDefaultSiteAddressW;
    std::string token;
    // Set when settings.json existed but could not be opened at start
    // (another program held it): the first save reads it again and lays this
    // run's changes, kept meanwhile, over what it holds.
    bool settingsUnread = false;
    std::vector<std::function<void(nlohmann::json&)>> unreadSettingsChanges;
    // Set when settings.json could be read but not used: the first save
    // copies that file aside before it replaces what the user had.
    bool keepUnreadableSettings = false;

    // Site data and the request runner
    nlohmann::json profile;  // null until start-up makes it an empty object
    nlohmann::json news = nlohmann::json::array();
    bool busy = false;
    std::thread workerThread;

    // Capture
    std::unique_ptr<Gdiplus::Bitmap> screenImage;
    VirtualScreen virtualScreen;
    HWND overlayWindow = nullptr;
    bool selecting = false;
    POINT selStart{};
    POINT selEnd{};
};

extern AppState app;

// Private window messages.
constexpr UINT WM_REQUEST_DONE = WM_APP + 1;
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 2;

// Timers of the main window.
constexpr UINT_PTR TIMER_PAGE_ANIMATION = 1;
constexpr UINT_PTR TIMER_AUTO_REFRESH = 2;

// Global hot keys.
constexpr int HOTKEY_REGION = 1;
constexpr int HOTKEY_FULLSCREEN = 2;

// Assigns the status line and repaints the main window and an open editor.
void setStatus(const std::wstring& text);

// The DPI a window is laid out for; the main window's is mainDpi.
UINT layoutDpi(HWND window);
