#include "editor/support/entry_script_win.h"

#include <string>

#include "editor/text_prompt.h"

namespace editortest {

namespace {

std::function<void(const EntryControls&)> pendingScript;
bool ran = false;
UINT_PTR timer = 0;

void CALLBACK lookForEntry(HWND, UINT, UINT_PTR, DWORD) {
    HWND frame = FindWindowW(nullptr, L"Текст на снимке");
    if (!frame || !IsWindowVisible(frame)) return;
    KillTimer(nullptr, timer);
    timer = 0;
    EntryControls controls{frame, GetDlgItem(frame, kTextPromptEditId), GetDlgItem(frame, IDOK)};
    ran = true;
    auto script = std::move(pendingScript);
    script(controls);
}

}  // namespace

void whenEntryOpens(std::function<void(const EntryControls&)> script) {
    pendingScript = std::move(script);
    ran = false;
    timer = SetTimer(nullptr, 0, 20, lookForEntry);
}

bool entryScriptRan() {
    if (timer) KillTimer(nullptr, timer);
    timer = 0;
    return ran;
}

void typeInto(HWND field, const std::wstring& text) {
    for (wchar_t letter : text) PostMessageW(field, WM_CHAR, letter, 1);
}

void pressKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
}

}  // namespace editortest
