#pragma once
#include <windows.h>

// Paints the whole client area of the main window: header, the current page
// with its fade-and-slide transition, and the status line.
void paintMainWindow(HWND window, HDC target);

// The same painting for a client area of width x height device pixels at
// the given scale (DPI / 96); paintMainWindow takes both from the window.
void paintMainWindowAt(HDC target, int width, int height, float scale);
