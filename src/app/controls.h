#pragma once
// Child controls of the main window (and the editor's buttons).

#include <windows.h>

#include <string>

// An owner-drawn push button placed in units of 1/96 inch, scaled by the
// parent's DPI with each value truncated.
HWND createButton(HWND parent, int id, const wchar_t* text, int x, int y, int width, int height);
std::wstring readWindowText(HWND control);
// Destroys and re-creates every child of the main window for currentPage.
void rebuildControls();
