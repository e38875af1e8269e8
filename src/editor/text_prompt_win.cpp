#include "editor/text_prompt.h"

#include "app/app_state.h"

namespace {

enum class EntryEnd { Confirm, Cancel };

struct EntryWindow {
    HWND frame = nullptr;
    HWND field = nullptr;
    HWND button = nullptr;
};

EntryWindow createEntryWindow(HWND owner) {
    EntryWindow entry;
    entry.frame = CreateWindowExW(WS_EX_DLGMODALFRAME, L"STATIC", L"Текст на снимке",
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 420, 150, owner, nullptr, app.instance,
                                  nullptr);
    if (!entry.frame) return entry;
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    SetWindowPos(entry.frame, nullptr, ownerRect.left + 80, ownerRect.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    entry.field = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                  16, 16, 370, 30, entry.frame, reinterpret_cast<HMENU>(kTextPromptEditId),
                                  app.instance, nullptr);
    SendMessageW(entry.field, WM_SETFONT, reinterpret_cast<WPARAM>(app.uiFont), TRUE);
    SendMessageW(entry.field, EM_LIMITTEXT, kTextPromptLimit, 0);
    entry.button = CreateWindowExW(0, L"BUTTON", L"Enter — добавить", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 16, 60,
                                   175, 30, entry.frame, reinterpret_cast<HMENU>(IDOK), app.instance, nullptr);
    return entry;
}

// The entry's own loop: every window of the thread keeps working meanwhile.
EntryEnd runEntryLoop(const EntryWindow& entry) {
    MSG message;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // the main loop must still see it
            return EntryEnd::Cancel;
        }
        if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) return EntryEnd::Confirm;
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return EntryEnd::Cancel;
        if (message.message == WM_LBUTTONUP && message.hwnd == entry.button) return EntryEnd::Confirm;
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (!IsWindow(entry.frame)) return EntryEnd::Cancel;  // closed with the close box
    }
}

std::wstring fieldText(HWND field) {
    int length = GetWindowTextLengthW(field);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(field, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

}  // namespace

std::wstring promptText(HWND owner) {
    EntryWindow entry = createEntryWindow(owner);
    EnableWindow(owner, FALSE);
    std::wstring result;
    if (entry.frame) {
        ShowWindow(entry.frame, SW_SHOW);
        SetFocus(entry.field);
        if (runEntryLoop(entry) == EntryEnd::Confirm) result = fieldText(entry.field);
        if (IsWindow(entry.frame)) DestroyWindow(entry.frame);
    }
    EnableWindow(owner, TRUE);
    SetForegroundWindow(owner);
    return result;
}
