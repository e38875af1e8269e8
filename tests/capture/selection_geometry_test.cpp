#include <gtest/gtest.h>

#include <cstdint>

#include "capture/selection_geometry.h"

namespace {

std::uintptr_t packed(int x, int y) {
    return (static_cast<std::uintptr_t>(static_cast<std::uint16_t>(y)) << 16) | static_cast<std::uint16_t>(x);
}

TEST(SelectionGeometry, MousePointsAreSignedWords) {
    EXPECT_EQ(mousePoint(packed(640, 480)), (PixelPoint{640, 480}));
    EXPECT_EQ(mousePoint(packed(-5, -1)), (PixelPoint{-5, -1}));  // a captured drag left of the window
    EXPECT_EQ(mousePoint(packed(3, 4) | (std::uintptr_t{0xABCD} << 32)), (PixelPoint{3, 4}));
}

TEST(SelectionGeometry, ClampIncludesBothEdges) {
    EXPECT_EQ(clampToScreen({2500, 1200}, 1920, 1080), (PixelPoint{1920, 1080}));
    EXPECT_EQ(clampToScreen({-40, -3}, 1920, 1080), (PixelPoint{0, 0}));
    EXPECT_EQ(clampToScreen({1919, 7}, 1920, 1080), (PixelPoint{1919, 7}));
}

TEST(SelectionGeometry, AcceptedAreaInEveryDirectionFromTwoPixelsUp) {
    struct Row { PixelPoint start, end; std::optional<PixelRect> area; };
    const Row rows[] = {
        {{100, 50}, {400, 250}, PixelRect{100, 50, 300, 200}},
        {{400, 250}, {100, 50}, PixelRect{100, 50, 300, 200}},
        {{400, 50}, {100, 250}, PixelRect{100, 50, 300, 200}},
        {{12, 12}, {10, 10}, PixelRect{10, 10, 2, 2}},
        {{10, 10}, {11, 900}, std::nullopt},  // one pixel wide, however tall
        {{10, 10}, {900, 11}, std::nullopt},
        {{10, 10}, {10, 10}, std::nullopt},   // a click
    };
    for (const Row& row : rows) EXPECT_EQ(acceptedArea(row.start, row.end), row.area) << row.end.x;
}

TEST(SelectionGeometry, HintFollowsThePointerInsideItsMonitor) {
    struct Row { PixelPoint cursor; PixelRect monitor; PixelPoint screenOrigin; PixelPoint hint; };
    const Row rows[] = {
        {{1919, 1079}, {0, 0, 1920, 1080}, {0, 0}, {1920 - 550, 1080 - 50}},
        {{-1000, 100}, {-1280, -200, 1280, 1024}, {-1280, -200}, {280, 328}},  // left of and above the primary
        {{-1000, 1010}, {-1280, 0, 1280, 1024}, {-1280, 0}, {280, 1024 - 50}},  // not below the shorter monitor
        {{-300, 10}, {-1280, 0, 1280, 1024}, {-1280, 0}, {1280 - 550, 38}},    // not across onto the next one
        {{399, 29}, {0, 0, 400, 30}, {0, 0}, {0, 0}},                          // a monitor smaller than the box
    };
    for (const Row& row : rows)
        EXPECT_EQ(hintOrigin(row.cursor, row.monitor, row.screenOrigin), row.hint) << row.cursor.x;
}

TEST(SelectionGeometry, SceneShowsTheHintBeforeTheDragAndAFrameOnlyForAnArea) {
    OverlayScene before = overlayScene(false, {}, {}, {20, 38});
    EXPECT_TRUE(before.showHint);
    EXPECT_EQ(before.hint, (PixelPoint{20, 38}));
    EXPECT_FALSE(before.showSelection);

    OverlayScene during = overlayScene(true, {700, 500}, {60, 20}, {20, 38});
    EXPECT_FALSE(during.showHint);
    EXPECT_EQ(during.selection, (PixelRect{60, 20, 640, 480}));
    EXPECT_EQ(during.label, L"640 \u00D7 480");
    EXPECT_EQ(during.labelOrigin, (PixelPoint{68, 0}));

    for (PixelPoint end : {PixelPoint{100, 400}, PixelPoint{500, 300}})  // along a line: nothing but the copy
        EXPECT_FALSE(overlayScene(true, {100, 300}, end, {}).showSelection);
    EXPECT_TRUE(overlayScene(true, {100, 300}, {101, 301}, {}).showSelection);
}

}  // namespace
