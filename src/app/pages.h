#pragma once
#include <windows.h>

// Paints the whole client area of the main window: header, the current page
// with its fade-and-slide transition, and the status line.
void paintMainWindow(HWND window, HDC target);
