#include <gtest/gtest.h>

#include <cstdint>

#include "capture/selection_geometry.h"

namespace {

std::uintptr_t packed(int x, int y) {
    return (static_cast<std::uintptr_t>(static_cast<std::uint16_t>(y)) << 16) | static_cast<std::uint16_t>(x);
}

TEST(MousePoint, WordsAreSignedSixteenBits) {
    EXPECT_EQ(mousePoint(packed(640, 480)), (PixelPoint{640, 480}));
    // A captured drag that leaves the window to the left or above.
    EXPECT_EQ(mousePoint(packed(-5, -1)), (PixelPoint{-5, -1}));
    EXPECT_EQ(mousePoint(packed(32767, -32768)), (PixelPoint{32767, -32768}));
    // Bits above the two words (64-bit lParam) do not leak into y.
    EXPECT_EQ(mousePoint(packed(3, 4) | (std::uintptr_t{0xABCD} << 32)), (PixelPoint{3, 4}));
}

TEST(SelectionRect, EveryDragDirectionGivesTheSameArea) {
    PixelRect expected{100, 50, 300, 200};
    EXPECT_EQ(selectionRect({100, 50}, {400, 250}), expected);
    EXPECT_EQ(selectionRect({400, 250}, {100, 50}), expected);
    EXPECT_EQ(selectionRect({400, 50}, {100, 250}), expected);
    EXPECT_EQ(selectionRect({100, 250}, {400, 50}), expected);
    EXPECT_EQ(selectionRect({7, 9}, {7, 9}), (PixelRect{7, 9, 0, 0}));
}

TEST(ClampToScreen, BoundsAreInclusiveAndNegativesBecomeZero) {
    EXPECT_EQ(clampToScreen({2500, 1200}, 1920, 1080), (PixelPoint{1920, 1080}));
    EXPECT_EQ(clampToScreen({-40, -3}, 1920, 1080), (PixelPoint{0, 0}));
    EXPECT_EQ(clampToScreen({1920, 0}, 1920, 1080), (PixelPoint{1920, 0}));
    EXPECT_EQ(clampToScreen({1919, 1079}, 1920, 1080), (PixelPoint{1919, 1079}));
}

TEST(ClampToScreen, DragPastTheRightEdgeEndsOnTheCopysEdge) {
    // Two monitors, the left one at a negative origin: the overlay's client
    // area still runs from 0 to the whole width.
    PixelRect screen{-1920, 0, 3840, 1080};
    PixelPoint end = clampToScreen({4000, 700}, screen.width, screen.height);
    PixelRect area = selectionRect({3000, 100}, end);
    EXPECT_EQ(area.left + area.width, 3840);
    EXPECT_EQ(area, (PixelRect{3000, 100, 840, 600}));
}

TEST(AcceptedArea, TwoByTwoIsTheSmallestShot) {
    EXPECT_EQ(acceptedArea({10, 10}, {12, 12}), (PixelRect{10, 10, 2, 2}));
    EXPECT_EQ(acceptedArea({12, 12}, {10, 10}), (PixelRect{10, 10, 2, 2}));
    EXPECT_FALSE(acceptedArea({10, 10}, {11, 900}));  // one pixel wide, however tall
    EXPECT_FALSE(acceptedArea({10, 10}, {900, 11}));
    EXPECT_FALSE(acceptedArea({10, 10}, {10, 10}));   // a click without a drag
    EXPECT_EQ(acceptedArea({0, 0}, {3840, 2160}), (PixelRect{0, 0, 3840, 2160}));
}

TEST(SizeLabel, TextIsWidthTimesHeight) {
    EXPECT_EQ(sizeLabelText(640, 480), L"640 \u00D7 480");
    EXPECT_EQ(sizeLabelText(2, 2), L"2 \u00D7 2");
    EXPECT_EQ(sizeLabelText(3840, 2160), L"3840 \u00D7 2160");
}

TEST(SizeLabel, StandsAboveTheSelectionOrAtTheTopEdge) {
    EXPECT_EQ(sizeLabelOrigin({100, 200, 640, 480}), (PixelPoint{108, 170}));
    EXPECT_EQ(sizeLabelOrigin({100, 30, 640, 480}), (PixelPoint{108, 0}));
    EXPECT_EQ(sizeLabelOrigin({100, 12, 640, 480}), (PixelPoint{108, 0}));
    EXPECT_EQ(sizeLabelOrigin({0, 0, 5, 5}), (PixelPoint{8, 0}));
}

TEST(HintOrigin, FollowsThePointerInsideTheWindow) {
    PixelRect screen{0, 0, 1920, 1080};
    EXPECT_EQ(hintOrigin({300, 400}, screen), (PixelPoint{300, 428}));
    // Near the bottom-right corner the box ends at the right edge and 10
    // pixels above the bottom.
    EXPECT_EQ(hintOrigin({1919, 1079}, screen), (PixelPoint{1920 - 550, 1080 - 50}));
}

TEST(HintOrigin, NegativeOriginsAreTakenOffTheCursor) {
    // A monitor left of and above the primary one.
    PixelRect screen{-1280, -200, 3200, 1280};
    EXPECT_EQ(hintOrigin({-1280, -200}, screen), (PixelPoint{0, 28}));
    EXPECT_EQ(hintOrigin({-1000, 100}, screen), (PixelPoint{280, 328}));
    EXPECT_EQ(hintOrigin({1919, 1079}, screen), (PixelPoint{3200 - 550, 1280 - 50}));
}

TEST(HintOrigin, ScreensSmallerThanTheBoxPinItToTheCorner) {
    PixelRect screen{0, 0, 400, 30};
    EXPECT_EQ(hintOrigin({399, 29}, screen), (PixelPoint{0, 0}));
}

TEST(OverlayScene, HintBeforeTheDragOnly) {
    PixelRect screen{-1920, 0, 3840, 1080};
    OverlayScene before = overlayScene(false, {}, {}, {-1900, 10}, screen);
    EXPECT_TRUE(before.showHint);
    EXPECT_EQ(before.hint, (PixelPoint{20, 38}));
    EXPECT_FALSE(before.showSelection);

    OverlayScene during = overlayScene(true, {700, 500}, {60, 20}, {-1900, 10}, screen);
    EXPECT_FALSE(during.showHint);
    EXPECT_TRUE(during.showSelection);
    EXPECT_EQ(during.selection, (PixelRect{60, 20, 640, 480}));
    EXPECT_EQ(during.label, L"640 \u00D7 480");
    EXPECT_EQ(during.labelOrigin, (PixelPoint{68, 0}));
}

TEST(OverlayScene, FlatDragShowsOnlyTheDimmedCopy) {
    PixelRect screen{0, 0, 1920, 1080};
    for (PixelPoint end : {PixelPoint{100, 400}, PixelPoint{500, 300}}) {
        OverlayScene scene = overlayScene(true, {100, 300}, end, {0, 0}, screen);
        EXPECT_FALSE(scene.showSelection);
        EXPECT_FALSE(scene.showHint);
    }
    // One pixel across is still drawn, though it would be a cancel.
    EXPECT_TRUE(overlayScene(true, {100, 300}, {101, 301}, {0, 0}, screen).showSelection);
}

}  // namespace
