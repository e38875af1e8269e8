#include <gtest/gtest.h>

#include <cmath>

#include "editor/mark_geometry.h"
#include "editor/mosaic_cells.h"

namespace {

Annotation segment(float x1, float y1, float x2, float y2, float thickness = 4) {
    Annotation mark;
    mark.x1 = x1;
    mark.y1 = y1;
    mark.x2 = x2;
    mark.y2 = y2;
    mark.thickness = thickness;
    return mark;
}

TEST(ArrowHead, LengthFollowsTheThicknessSteps) {
    EXPECT_FLOAT_EQ(arrowHeadLength(2), 14);
    EXPECT_FLOAT_EQ(arrowHeadLength(4), 16);
    EXPECT_FLOAT_EQ(arrowHeadLength(6), 24);
    EXPECT_FLOAT_EQ(arrowHeadLength(8), 32);
    EXPECT_FLOAT_EQ(arrowHeadLength(10), 40);
}

TEST(ArrowHead, SidesLeaveTheTipAtTheHeadAngleBackAlongTheShaft) {
    for (float thickness : {2.0f, 10.0f}) {
        Annotation arrow = segment(10, 80, 130, 20, thickness);
        auto head = arrowHead(arrow);
        EXPECT_FLOAT_EQ(head[0].x, 130);
        EXPECT_FLOAT_EQ(head[0].y, 20);
        float shaftX = (10 - 130) / std::hypot(120.0f, 60.0f), shaftY = (80 - 20) / std::hypot(120.0f, 60.0f);
        for (int corner = 1; corner <= 2; ++corner) {
            float dx = head[corner].x - 130, dy = head[corner].y - 20;
            float length = std::hypot(dx, dy);
            EXPECT_NEAR(length, arrowHeadLength(thickness), 1e-3);
            EXPECT_NEAR(std::acos((dx * shaftX + dy * shaftY) / length), 0.48f, 1e-4);
        }
        // One corner on each side of the shaft.
        auto side = [&](MarkPoint p) { return (p.x - 130) * shaftY - (p.y - 20) * shaftX; };
        EXPECT_LT(side(head[1]) * side(head[2]), 0);
    }
}

TEST(MarkBox, SameBoxWhicheverWayTheDragWent) {
    MarkBox forward = normalisedBox(segment(10, 20, 110, 70));
    MarkBox backward = normalisedBox(segment(110, 70, 10, 20));
    MarkBox crosswise = normalisedBox(segment(10, 70, 110, 20));
    for (const MarkBox& box : {forward, backward, crosswise}) {
        EXPECT_FLOAT_EQ(box.left, 10);
        EXPECT_FLOAT_EQ(box.top, 20);
        EXPECT_FLOAT_EQ(box.width, 100);
        EXPECT_FLOAT_EQ(box.height, 50);
    }
}

TEST(MosaicGrid, CellsAreAtLeastFourteenPixels) {
    EXPECT_FALSE(mosaicGrid({0, 0, 300, 1.5f}).has_value());
    EXPECT_FALSE(mosaicGrid({0, 0, 1.9f, 300}).has_value());
    auto single = mosaicGrid({0, 0, 20, 5});
    ASSERT_TRUE(single);
    EXPECT_EQ(single->columns, 1);
    EXPECT_EQ(single->rows, 1);
    auto square = mosaicGrid({0, 0, 30, 30});
    ASSERT_TRUE(square);
    EXPECT_EQ(square->columns, 2);
    EXPECT_EQ(square->rows, 2);
    auto wide = mosaicGrid({0, 0, 3839, 27.9f});
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->columns, 274);
    EXPECT_EQ(wide->rows, 1);
}

TEST(MosaicGrid, CellSpansTileTheAxisWithoutGaps) {
    EXPECT_EQ(cellSpan(0, 30, 2, 0).first, 0);
    EXPECT_EQ(cellSpan(0, 30, 2, 0).last, 15);
    EXPECT_EQ(cellSpan(0, 30, 2, 1).last, 30);
    for (int count : {1, 3, 7, 274}) {
        int next = 5;
        for (int i = 0; i < count; ++i) {
            CellSpan span = cellSpan(5, 3839, count, i);
            EXPECT_EQ(span.first, next);
            EXPECT_GE(span.last - span.first, 3839 / count);
            next = span.last;
        }
        EXPECT_EQ(next, 5 + 3839);
    }
}

TEST(MosaicGrid, CoversThePixelsWhoseCentresLieInTheBox) {
    auto expectArea = [](PixelArea area, int left, int top, int width, int height) {
        EXPECT_EQ(area.left, left);
        EXPECT_EQ(area.top, top);
        EXPECT_EQ(area.width, width);
        EXPECT_EQ(area.height, height);
    };
    expectArea(pixelsInside({40, 20, 30, 30}, 200, 120), 40, 20, 30, 30);
    // Centres 41.5 to 50.5 across, 20.5 to 25.5 down.
    expectArea(pixelsInside({40.6f, 20.4f, 10, 5.2f}, 200, 120), 41, 20, 10, 6);
    expectArea(pixelsInside({40.5f, 20.5f, 1, 1}, 200, 120), 40, 20, 1, 1);
    // Kept inside the picture.
    expectArea(pixelsInside({-5, -3, 10, 10}, 200, 120), 0, 0, 5, 7);
    expectArea(pixelsInside({195, 110, 20, 20}, 200, 120), 195, 110, 5, 10);
}

TEST(MosaicCells, EachCellIsTheAverageOfItsOwnPixels) {
    // 30 × 15 pixels, stride padded to 36 pixels; left half red, right half
    // alternating black and white, so the cells average to red and grey.
    const int width = 30, height = 15, stride = 36 * 4;
    std::vector<std::uint32_t> pixels(36 * height, 0x12345678);  // padding must not count
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[y * 36 + x] = x < 15 ? 0xFFFF0000u : ((x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
        }
    }
    auto cells = averageMosaicCells(reinterpret_cast<const std::uint8_t*>(pixels.data()), stride, width, height,
                                    MosaicGrid{2, 1});
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0], 0xFFFF0000u);
    // 113 white and 112 black pixels: 255 × 113 / 225 = 128.07.
    EXPECT_EQ(cells[1], 0xFF808080u);
}

TEST(MosaicCells, RowsAndColumnsAreKeptApart) {
    const int width = 28, height = 28;
    std::vector<std::uint32_t> pixels(width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels[y * width + x] = 0xFF000000u | ((x / 14) << 16) * 200 | ((y / 14) * 100);
    auto cells =
        averageMosaicCells(reinterpret_cast<const std::uint8_t*>(pixels.data()), width * 4, width, height, {2, 2});
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0], 0xFF000000u);
    EXPECT_EQ(cells[1], 0xFFC80000u);
    EXPECT_EQ(cells[2], 0xFF000064u);
    EXPECT_EQ(cells[3], 0xFFC80064u);
}

TEST(MosaicCells, CellsArePaintedBackOnTheSpansTheyWereAveragedOver) {
    // 31 × 15 pixels in 2 columns (15 and 16 wide), stride padded to 33.
    const int width = 31, height = 15, stride = 33 * 4;
    std::vector<std::uint32_t> pixels(33 * height, 0x12345678);
    fillMosaicCells(reinterpret_cast<std::uint8_t*>(pixels.data()), stride, width, height, MosaicGrid{2, 1},
                    {0xFF0000FFu, 0xFF00FF00u});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) EXPECT_EQ(pixels[y * 33 + x], x < 15 ? 0xFF0000FFu : 0xFF00FF00u) << x;
        EXPECT_EQ(pixels[y * 33 + 31], 0x12345678u);  // padding untouched
    }
    auto again = averageMosaicCells(reinterpret_cast<const std::uint8_t*>(pixels.data()), stride, width, height,
                                    MosaicGrid{2, 1});
    EXPECT_EQ(again, (std::vector<std::uint32_t>{0xFF0000FFu, 0xFF00FF00u}));
}

}  // namespace
