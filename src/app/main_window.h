#pragma once
#include <windows.h>

#include <string>

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr DWORD kMainStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;

// The main window's outer size for its client area of 380 x 440 units at a DPI.
SIZE mainFrameSize(UINT dpi);

// Clips the main window to its rounded outline for the size mainDpi gives
// it, also while it is minimised and has no client area to measure.
// Whatever lies outside the outline can be neither seen nor clicked.
void shapeMainWindow(HWND window);
