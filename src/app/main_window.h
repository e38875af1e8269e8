#pragma once
#include <windows.h>

#include <string>

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Clips the main window to its rounded outline for its current size and
// mainDpi. Whatever lies outside the outline can be neither seen nor clicked.
void shapeMainWindow(HWND window);
