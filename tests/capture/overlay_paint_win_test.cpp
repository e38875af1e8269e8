#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "capture/capture.h"
#include "capture/dimmed_copy_win.h"
#include "capture/overlay_paint_win.h"
#include "capture/screen_copy_win.h"
#include "capture/support/capture_fixture_win.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

// What the screen shows: 0x00RRGGBB per pixel of the virtual screen.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

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
    std::uint32_t original = patternColour(x, y);
    for (int shift : {16, 8, 0}) {
        int expected = channel(original, shift) * (255 - 120) / 255;
        if (std::abs(channel(shown, shift) - expected) > 1) return false;
    }
    return true;
}

bool inside(int x, int y, int left, int top, int right, int bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

class OverlayPaint : public CaptureFixture {
protected:
    void openOverlayWithPointerAt(int x, int y) {
        SetCursorPos(GetSystemMetrics(SM_XVIRTUALSCREEN) + x, GetSystemMetrics(SM_YVIRTUALSCREEN) + y);
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        showPainted();
    }

    // Lets the paint reach the screen before it is read back.
    static void showPainted() {
        UpdateWindow(app.overlayWindow);
        pumpMessages();
        Sleep(150);
        pumpMessages();
    }

    static Picture screen() {
        Picture picture{app.virtualScreen.width, app.virtualScreen.height, {}};
        picture.pixels = screenPixels(0, 0, picture.width, picture.height);
        return picture;
    }
};

TEST_F(OverlayPaint, MidDragShowsTheSelectionBrightFramedAndLabelled) {
    openOverlayWithPointerAt(900, 700);
    const int left = 200, top = 150, width = 640, height = 480;
    pressAt(POINT{left + width, top + height});
    moveTo(POINT{left, top});
    showPainted();
    Picture shown = screen();

    int wrongInside = 0, wrongOutside = 0, strayBright = 0, labelBright = 0;
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            std::uint32_t colour = shown.at(x, y);
            if (inside(x, y, left + 2, top + 2, left + width - 2, top + height - 2)) {
                wrongInside += colour != (patternColour(x, y) & 0x00FFFFFF);
            } else if (inside(x, y, left - 2, top - 2, left + width + 2, top + height + 2)) {
                // the frame's band
            } else if (inside(x, y, left + 8, top - 30, left + 8 + 250, top - 2)) {
                labelBright += bright(colour);
            } else {
                wrongOutside += !dimmedPattern(colour, x, y);
                strayBright += bright(colour);
            }
        }
    }
    EXPECT_EQ(wrongInside, 0);
    EXPECT_EQ(wrongOutside, 0);
    EXPECT_EQ(strayBright, 0);
    EXPECT_GT(labelBright, 30);  // "640 × 480" in light text

    // The frame: light grey on all four edges, two pixels wide.
    for (POINT edge : {POINT{left, top + height / 2}, POINT{left + width, top + height / 2},
                       POINT{left + width / 2, top}, POINT{left + width / 2, top + height}}) {
        int light = 0;
        for (int d = -2; d <= 2; ++d) {
            bool vertical = edge.x == left || edge.x == left + width;
            std::uint32_t colour = vertical ? shown.at(edge.x + d, edge.y) : shown.at(edge.x, edge.y + d);
            light += colour == 0xE5E5E5;
        }
        EXPECT_EQ(light, 2) << "edge at " << edge.x << ", " << edge.y;
    }
}

TEST_F(OverlayPaint, DimmedCopyPaintsTheSamePictureAsBlendingOnTheWindow) {
    openOverlayWithPointerAt(900, 700);
    pressAt(POINT{300, 200});
    moveTo(POINT{1100, 700});
    showPainted();
    Picture cached = screen();

    // The same paint with the dimming blended on the window itself.
    {
        ScreenDc windowDc(app.overlayWindow);
        Gdiplus::Graphics graphics(windowDc.get());
        OverlayScene scene = overlayScene(true, {300, 200}, {1100, 700}, {0, 0}, pixelRect(app.virtualScreen));
        drawOverlay(graphics, scene, *app.screenImage, DimmedCopy{}, app.virtualScreen.width,
                    app.virtualScreen.height);
    }
    pumpMessages();
    Sleep(150);
    pumpMessages();
    Picture blended = screen();

    int differing = 0;
    for (size_t i = 0; i < cached.pixels.size(); ++i) {
        if (cached.pixels[i] == blended.pixels[i]) continue;
        if (++differing <= 3)
            std::printf("pixel %zu: cached %06X, blended %06X\n", i, cached.pixels[i], blended.pixels[i]);
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(OverlayPaint, HintNearTheBottomRightCornerStaysInside) {
    openOverlayWithPointerAt(GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1, GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
    Picture shown = screen();
    int boxLeft = shown.width - 550, boxTop = shown.height - 50;

    int hintBright = 0, strayBright = 0, wrong = 0;
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            std::uint32_t colour = shown.at(x, y);
            if (inside(x, y, boxLeft, boxTop, shown.width, boxTop + 40)) {
                hintBright += bright(colour);
                continue;
            }
            strayBright += bright(colour);
            wrong += !dimmedPattern(colour, x, y);
        }
    }
    EXPECT_GT(hintBright, 100);
    EXPECT_EQ(strayBright, 0);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
