#include <gtest/gtest.h>

#include "editor/view_fit.h"

TEST(ViewFit, PictureFillsTheSpaceBetweenBandsThatGrowWithTheDpi) {
    struct Row { float clientWidth, clientHeight, dpi; int imageWidth, imageHeight; float scale, x, y; };
    const Row rows[] = {
        {1000, 720, 1.0f, 200, 100, 4.84f, 16, 152},       // enlarged to the narrower side
        {1500, 1080, 1.5f, 200, 100, 7.26f, 24, 228},      // bands of 168 and 66, sides of 24
        {2000, 1440, 2.0f, 100, 400, 2.82f, 859, 224},     // limited by the height, centred across
        {100, 100, 1.0f, 3840, 2160, 0.01f, 30.8f, 73.2f},  // never below 1 %
    };
    for (const Row& row : rows) {
        ViewFit view = fitImageToView(row.clientWidth, row.clientHeight, row.imageWidth, row.imageHeight, row.dpi);
        EXPECT_NEAR(view.scale, row.scale, 1e-4) << row.imageWidth;
        EXPECT_NEAR(view.rect.x, row.x, 1e-2) << row.imageWidth;
        EXPECT_NEAR(view.rect.y, row.y, 1e-2) << row.imageWidth;
        EXPECT_NEAR(view.rect.width, row.imageWidth * view.scale, 1e-2);
    }
}

TEST(ViewFit, ClientPointsMapToImagePixelsClampedOntoThePicture) {
    ViewFit view = fitImageToView(1000, 720, 200, 100, 1.0f);
    struct Row { float x, y, imageX, imageY; };
    const Row rows[] = {{16 + 4.84f * 10, 152 + 4.84f * 20, 10, 20}, {0, 0, 0, 0}, {5000, 5000, 199, 99}};
    for (const Row& row : rows) {
        MarkPoint image = clientToImage(row.x, row.y, view, 200, 100);
        EXPECT_NEAR(image.x, row.imageX, 1e-3);
        EXPECT_NEAR(image.y, row.imageY, 1e-3);
    }
}
