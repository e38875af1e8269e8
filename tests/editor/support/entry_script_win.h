#pragma once
// Plays a user at the text entry window: once the window shows up, a thread
// timer runs a script against it from inside the entry's own loop. An entry
// that never shows keeps its caller waiting, and the test fails on its time.

#include <windows.h>

#include <functional>
#include <string>

#include "editor/text_prompt.h"

namespace editortest {

struct EntryControls { HWND frame = nullptr; HWND field = nullptr; HWND button = nullptr; };

inline std::function<void(const EntryControls&)> pendingEntryScript;
inline UINT_PTR entryTimer = 0;

inline void CALLBACK lookForEntry(HWND, UINT, UINT_PTR, DWORD) {
    HWND frame = FindWindowW(nullptr, L"Текст на снимке");
    if (!frame || !IsWindowVisible(frame)) return;
    KillTimer(nullptr, entryTimer);
    entryTimer = 0;
    auto script = std::move(pendingEntryScript);
    script({frame, GetDlgItem(frame, kTextPromptEditId), GetDlgItem(frame, IDOK)});
}

// Runs `script` once the entry window exists; call before promptText.
inline void whenEntryOpens(std::function<void(const EntryControls&)> script) {
    pendingEntryScript = std::move(script);
    entryTimer = SetTimer(nullptr, 0, 20, lookForEntry);
}

inline void typeInto(HWND field, const std::wstring& text) {
    for (wchar_t letter : text) PostMessageW(field, WM_CHAR, letter, 1);
}

inline void pressKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
}

}  // namespace editortest
