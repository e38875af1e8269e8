#pragma once
#include <windows.h>

#include <string>

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
