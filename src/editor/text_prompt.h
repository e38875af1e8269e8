#pragma once
// The small modal window that asks for the text of a new text mark.

#include <windows.h>

#include <string>

inline constexpr int kTextPromptLimit = 200;
inline constexpr int kTextPromptEditId = 10;

// Shows the entry window over `owner` and returns the typed text, or an empty
// string when the user cancels. The owner is disabled meanwhile and enabled
// and brought forward afterwards. A quit message seen by the entry's own loop
// cancels the entry and is posted again, so the program still ends.
std::wstring promptText(HWND owner);
