#pragma once
// Real input, as the user's mouse gives it.

#include <windows.h>

namespace testsupport {

// A press and release of the left button at a point of the screen.
inline void clickAt(POINT point) {
    SetCursorPos(point.x, point.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

}  // namespace testsupport
