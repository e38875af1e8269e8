#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "app/app_state.h"
#include "capture/capture.h"
#include "capture/support/capture_fixture_win.h"
#include "editor/editor_state.h"
#include "support/win_process.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

class Overlay : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
    }

    void expectCancelled() {
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_TRUE(overlayWindows().empty());
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_EQ(editorState.editorWindow, nullptr);
        EXPECT_TRUE(mainWindowVisible());
        // Wine hands the foreground over asynchronously to unmanaged windows.
        EXPECT_TRUE(testsupport::waitFor([] {
            pumpMessages();
            return GetForegroundWindow() == app.mainWindow;
        }, std::chrono::seconds(3)));
    }

    // The editor got exactly the pattern's pixels of (left, top, width, height).
    void expectShot(int left, int top, int width, int height) {
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_TRUE(overlayWindows().empty());
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_FALSE(mainWindowVisible());
        ASSERT_NE(editorState.editorWindow, nullptr);
        ASSERT_NE(editorState.baseImage, nullptr);
        Gdiplus::Bitmap& shot = *editorState.baseImage;
        EXPECT_EQ(static_cast<int>(shot.GetWidth()), width);
        EXPECT_EQ(static_cast<int>(shot.GetHeight()), height);
        EXPECT_EQ(shot.GetPixelFormat(), PixelFormat32bppARGB);
        EXPECT_EQ(patternMismatches(shot, left, top), 0);
    }
};

TEST_F(Overlay, DragWithTheMouseCutsOutExactlyTheDraggedPixels) {
    dragWithInput(POINT{100, 80}, POINT{420, 330});
    expectShot(100, 80, 320, 250);
}

TEST_F(Overlay, DragBeyondTheEdgesEndsOnTheCopysEdges) {
    int width = app.virtualScreen.width;
    int height = app.virtualScreen.height;
    dragWithMessages(POINT{width - 300, height - 200}, POINT{width + 500, height + 90});
    expectShot(width - 300, height - 200, 300, 200);
}

TEST_F(Overlay, OtherKeysAndAMoveOrReleaseWithoutAPressChangeNothing) {
    moveTo(POINT{300, 300});
    releaseAt(POINT{500, 500});
    pumpMessages();
    ASSERT_NE(app.overlayWindow, nullptr);
    EXPECT_FALSE(app.selecting);
    pressAt(POINT{10, 10});
    moveTo(POINT{400, 300});
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{'A'}, WPARAM{VK_SPACE}, WPARAM{VK_DELETE}})
        SendMessageW(app.overlayWindow, WM_KEYDOWN, key, 0);
    ASSERT_NE(app.overlayWindow, nullptr);
    releaseAt(POINT{400, 300});
    expectShot(10, 10, 390, 290);
}

TEST_F(Overlay, EscapeRightClickCloseAndDragsUnderTwoPixelsCancel) {
    const std::function<void()> cancels[] = {
        [] { SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0); },
        [] { SendMessageW(app.overlayWindow, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, MAKELPARAM(400, 400)); },
        [] { SendMessageW(app.overlayWindow, WM_CLOSE, 0, 0); },
        [] { releaseAt(POINT{11, 900}); },  // one pixel wide
        [] { releaseAt(POINT{10, 10}); },   // a click
    };
    for (std::size_t row = 0; row < std::size(cancels); ++row) {
        SCOPED_TRACE(row);
        if (!app.overlayWindow) startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
        pressAt(POINT{10, 10});
        moveTo(POINT{400, 400});
        cancels[row]();
        pumpMessages();
        expectCancelled();
    }
}

int channel(std::uint32_t colour, int shift) {
    return static_cast<int>((colour >> shift) & 0xFF);
}

// Every channel of the dimmed copy is at most 255 × 135 / 255: anything
// brighter is the frame or text.
bool bright(std::uint32_t colour) {
    return channel(colour, 16) > 0xA0 && channel(colour, 8) > 0xA0 && channel(colour, 0) > 0xA0;
}

// The pattern under black at alpha 120, to within rounding.
bool dimmedPattern(std::uint32_t shown, int x, int y) {
    for (int shift : {16, 8, 0}) {
        int expected = channel(patternColour(x, y), shift) * (255 - 120) / 255;
        if (std::abs(channel(shown, shift) - expected) > 1) return false;
    }
    return true;
}

struct Counts {
    int brightInBox = 0, strayBright = 0, notDimmed = 0, notOriginal = 0;
};

class OverlayPaint : public CaptureFixture {
protected:
    void openOverlayWithPointerAt(int x, int y) {
        SetCursorPos(GetSystemMetrics(SM_XVIRTUALSCREEN) + x, GetSystemMetrics(SM_YVIRTUALSCREEN) + y);
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
    }

    // What the screen shows once the paint has reached it: pixels inside
    // `bright` (the label or the hint) are counted when light, pixels inside
    // `clear` must be the pattern itself, those in `skip` (the frame) are
    // not looked at and all others must be the dimmed pattern.
    static Counts shown(RECT brightBox, RECT clear = {}, RECT skip = {}) {
        UpdateWindow(app.overlayWindow);
        pumpMessages();
        Sleep(150);
        pumpMessages();
        int width = app.virtualScreen.width, height = app.virtualScreen.height;
        std::vector<std::uint32_t> pixels = screenPixels(0, 0, width, height);
        Counts counts;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint32_t colour = pixels[static_cast<size_t>(y) * width + x];
                POINT at{x, y};
                if (PtInRect(&clear, at)) {
                    counts.notOriginal += colour != (patternColour(x, y) & 0x00FFFFFF);
                } else if (PtInRect(&skip, at)) {
                    continue;
                } else if (PtInRect(&brightBox, at)) {
                    counts.brightInBox += bright(colour);
                } else {
                    counts.notDimmed += !dimmedPattern(colour, x, y);
                    counts.strayBright += bright(colour);
                }
            }
        return counts;
    }
};

TEST_F(OverlayPaint, MidDragShowsTheSelectionBrightFramedInLightGreyAndLabelled) {
    openOverlayWithPointerAt(900, 700);
    const int left = 200, top = 150, right = 840, bottom = 630;
    pressAt(POINT{right, bottom});
    moveTo(POINT{left, top});
    Counts counts = shown(RECT{left + 8, top - 30, left + 258, top - 2}, RECT{left + 2, top + 2, right - 2, bottom - 2},
                          RECT{left - 2, top - 2, right + 2, bottom + 2});
    EXPECT_EQ(counts.notOriginal, 0);
    EXPECT_EQ(counts.notDimmed, 0);
    EXPECT_EQ(counts.strayBright, 0);
    EXPECT_GT(counts.brightInBox, 30);  // "640 × 480" in light text

    // The frame: two pixels wide on each edge.
    std::vector<std::uint32_t> across = screenPixels(left - 2, top + 200, 5, 1);
    std::vector<std::uint32_t> down = screenPixels(left + 300, bottom - 2, 1, 5);
    across.insert(across.end(), down.begin(), down.end());
    EXPECT_EQ(std::count(across.begin(), across.end(), 0xE5E5E5u), 4);
}

TEST_F(OverlayPaint, HintNearTheBottomRightCornerStaysInside) {
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    openOverlayWithPointerAt(width - 1, height - 1);
    Counts counts = shown(RECT{width - 550, height - 50, width, height - 10});
    EXPECT_GT(counts.brightInBox, 100);
    EXPECT_EQ(counts.strayBright, 0);
    EXPECT_EQ(counts.notDimmed, 0);
}

}  // namespace
