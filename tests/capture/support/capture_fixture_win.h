#pragma once
// The real shell in this process with a known pattern on the screen, and
// ways to drive the overlay.

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "capture/support/screen_pattern_win.h"
#include "support/shell_session_win.h"

namespace capturetest {

class CaptureFixture : public ::testing::Test {
protected:
    // The pattern stays for the whole suite: taking a full-screen window
    // down is slow under Wine without a window manager.
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static std::vector<HWND> overlayWindows();
    static bool mainWindowVisible();

    // Left-button drag sent to the overlay as window messages, in overlay
    // client pixels; the end point may lie outside the window.
    static void dragWithMessages(POINT from, POINT to);
    static void pressAt(POINT point);
    static void moveTo(POINT point);
    static void releaseAt(POINT point);
    // The same drag through the system's input queue: the pointer really
    // moves and the messages come from the mouse capture.
    static void dragWithInput(POINT from, POINT to);

    // Pixels of the image that differ from the pattern at (left, top)
    // onward; the first few are printed.
    static int patternMismatches(Gdiplus::Bitmap& image, int left, int top);

    static PatternWindow* pattern;
};

}  // namespace capturetest
