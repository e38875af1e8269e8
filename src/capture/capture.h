#pragma once
#include <windows.h>

// Freezes the whole virtual screen; region mode then opens the selection
// overlay, full-screen mode hands the copy straight to the editor.
void startCapture(bool region);

LRESULT CALLBACK overlayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
