#pragma once
// Plays a user at the text entry window: once the window shows up, a thread
// timer runs a script against it from inside the entry's own loop.

#include <windows.h>

#include <functional>
#include <string>

namespace editortest {

struct EntryControls {
    HWND frame = nullptr;
    HWND field = nullptr;
    HWND button = nullptr;
};

// Runs `script` once the entry window exists; call before promptText.
void whenEntryOpens(std::function<void(const EntryControls&)> script);
bool entryScriptRan();

void typeInto(HWND field, const std::wstring& text);
void pressKey(HWND window, WPARAM key);

}  // namespace editortest
