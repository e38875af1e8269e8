#include "app/controls.h"

#include "app/app_state.h"
#include "app/control_layout.h"

namespace {

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;

HWND createScaledChild(HWND parent, const wchar_t* className, DWORD style, int id, const wchar_t* text, int x, int y,
                       int width, int height) {
    UINT dpi = layoutDpi(parent);
    HWND child = CreateWindowExW(0, className, text, style, scaleUnits(x, dpi), scaleUnits(y, dpi),
                                 scaleUnits(width, dpi), scaleUnits(height, dpi), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app.instance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(app.uiFont), TRUE);
    return child;
}

HWND createEdit(const ControlSpec& spec, const std::wstring& text, int limit) {
    HWND edit = createScaledChild(app.mainWindow, L"EDIT", kEditStyle, 0, text.c_str(), spec.x, spec.y, spec.width,
                                  spec.height);
    SendMessageW(edit, EM_SETLIMITTEXT, limit, 0);
    return edit;
}

HWND createControl(const ControlSpec& spec) {
    switch (spec.kind) {
    case ControlKind::AddressEdit:
        return app.siteAddressEdit = createEdit(spec, app.siteAddress, kAddressLimit);
    case ControlKind::CodeEdit:
        return app.linkCodeEdit = createEdit(spec, L"", kCodeLimit);
    case ControlKind::Button:
        break;
    }
    return createButton(app.mainWindow, spec.id, spec.text, spec.x, spec.y, spec.width, spec.height);
}

}  // namespace

HWND createButton(HWND parent, int id, const wchar_t* text, int x, int y, int width, int height) {
    return createScaledChild(parent, L"BUTTON", kButtonStyle, id, text, x, y, width, height);
}

std::wstring readWindowText(HWND control) {
    if (!control) return {};
    int length = GetWindowTextLengthW(control);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void rebuildControls() {
    for (HWND control : app.mainControls) DestroyWindow(control);
    app.mainControls.clear();
    app.siteAddressEdit = nullptr;
    app.linkCodeEdit = nullptr;
    for (const ControlSpec& spec : mainControlSpecs(app.currentPage)) app.mainControls.push_back(createControl(spec));
    InvalidateRect(app.mainWindow, nullptr, FALSE);
}
