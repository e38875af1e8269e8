#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "editor/mark_geometry.h"
#include "editor/mosaic_cells.h"

TEST(ArrowHead, GrowsWithTheThicknessAndOpensToBothSidesOfTheShaft) {
    const float lengths[] = {14, 16, 24, 32, 40};
    for (int step = 0; step < 5; ++step) EXPECT_FLOAT_EQ(arrowHeadLength(2.0f + 2 * step), lengths[step]);

    Annotation arrow;
    arrow.x1 = 10, arrow.y1 = 80, arrow.x2 = 130, arrow.y2 = 20, arrow.thickness = 10;
    auto head = arrowHead(arrow);
    EXPECT_FLOAT_EQ(head[0].x, 130);
    EXPECT_FLOAT_EQ(head[0].y, 20);
    float backX = -120 / std::hypot(120.0f, 60.0f), backY = 60 / std::hypot(120.0f, 60.0f);
    float sides[2];
    for (int corner = 1; corner <= 2; ++corner) {
        float dx = head[corner].x - 130, dy = head[corner].y - 20;
        EXPECT_NEAR(std::acos((dx * backX + dy * backY) / 40), 0.48f, 1e-4);  // and 40 long
        sides[corner - 1] = dx * backY - dy * backX;
    }
    EXPECT_LT(sides[0] * sides[1], 0);
}

TEST(MosaicGrid, CellsOfFourteenPixelsOrMoreAndNoneUnderTwo) {
    struct Row { MarkBox box; int columns, rows; };  // 0 columns and rows: no grid
    const Row table[] = {
        {{0, 0, 300, 1.5f}, 0, 0}, {{0, 0, 1.9f, 300}, 0, 0},     {{0, 0, 20, 5}, 1, 1},
        {{0, 0, 30, 30}, 2, 2},    {{0, 0, 3839, 27.9f}, 274, 1},
    };
    for (const Row& row : table) {
        auto grid = mosaicGrid(row.box);
        EXPECT_EQ(grid ? grid->columns * 1000 + grid->rows : 0, row.columns * 1000 + row.rows) << row.box.width;
    }
}

TEST(MosaicGrid, CoversThePixelsWhoseCentresLieInTheBoxInsideThePicture) {
    struct Row { MarkBox box; PixelArea area; };
    const Row rows[] = {
        {{40.6f, 20.4f, 10, 5.2f}, {41, 20, 10, 6}},  // centres 41.5 to 50.5 across, 20.5 to 25.5 down
        {{40.5f, 20.5f, 1, 1}, {40, 20, 1, 1}},
        {{-5, -3, 10, 10}, {0, 0, 5, 7}},
        {{195, 110, 20, 20}, {195, 110, 5, 10}},
    };
    for (const Row& row : rows) {
        PixelArea area = pixelsInside(row.box, 200, 120);
        EXPECT_EQ((std::array{area.left, area.top, area.width, area.height}),
                  (std::array{row.area.left, row.area.top, row.area.width, row.area.height}))
            << row.box.left;
    }
}

TEST(MosaicCells, EachCellIsTheAverageOfItsOwnPixelsAndIsPaintedBackOnItsSpan) {
    // 31 × 28 pixels, rows padded to 33: 2 × 2 cells, the columns 15 and 16 wide.
    const int width = 31, height = 28, stride = 33 * 4;
    std::vector<std::uint32_t> pixels(33 * height, 0x12345678);  // padding must not count
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * 33 + x] = x < 15 ? (y < 14 ? 0xFFFF0000u : 0x800000C8u)
                                        : ((x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
    auto* bytes = reinterpret_cast<std::uint8_t*>(pixels.data());
    auto cells = averageMosaicCells(bytes, stride, width, height, MosaicGrid{2, 2});
    // 112 white and 112 black pixels on the right: 127.5.
    EXPECT_EQ(cells, (std::vector<std::uint32_t>{0xFFFF0000u, 0xFF808080u, 0x800000C8u, 0xFF808080u}));

    fillMosaicCells(bytes, stride, width, height, MosaicGrid{2, 2}, {1, 2, 3, 4});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) ASSERT_EQ(pixels[y * 33 + x], (x < 15 ? 1u : 2u) + (y < 14 ? 0 : 2)) << x;
        EXPECT_EQ(pixels[y * 33 + 31], 0x12345678u);
    }
}
