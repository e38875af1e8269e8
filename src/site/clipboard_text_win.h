#pragma once
#include <windows.h>

#include <string>

// Puts the text alone on the clipboard as CF_UNICODETEXT; false when the
// clipboard could not be opened or took nothing.
bool putTextOnClipboard(HWND owner, const std::wstring& text);
