#include <gtest/gtest.h>

#include "editor/view_fit.h"

namespace {

void expectRect(const ViewRect& rect, float x, float y, float width, float height) {
    EXPECT_NEAR(rect.x, x, 1e-3);
    EXPECT_NEAR(rect.y, y, 1e-3);
    EXPECT_NEAR(rect.width, width, 1e-3);
    EXPECT_NEAR(rect.height, height, 1e-3);
}

TEST(ViewFit, SmallImageIsEnlargedToTheNarrowerSide) {
    ViewFit view = fitImageToView(1000, 720, 200, 100, 1.0f);
    EXPECT_NEAR(view.scale, 4.84f, 1e-4);
    expectRect(view.rect, 16, 152, 968, 484);
}

TEST(ViewFit, BandsGrowWithTheDpi) {
    // 150 %: bands of 168 and 66, sides of 24.
    ViewFit view = fitImageToView(1500, 1080, 200, 100, 1.5f);
    EXPECT_NEAR(view.scale, 7.26f, 1e-4);
    expectRect(view.rect, 24, 228, 1452, 726);

    // 200 %, a tall image limited by the height and centred across.
    ViewFit tall = fitImageToView(2000, 1440, 100, 400, 2.0f);
    float available = 1440 - 224 - 88;
    EXPECT_NEAR(tall.scale, available / 400, 1e-4);
    EXPECT_NEAR(tall.rect.x, (2000 - 100 * tall.scale) / 2, 1e-3);
    EXPECT_NEAR(tall.rect.y, 224, 1e-3);
}

TEST(ViewFit, LargeImageIsReducedAndNeverBelowOnePercent) {
    ViewFit screen = fitImageToView(1000, 720, 3840, 2160, 1.0f);
    EXPECT_NEAR(screen.scale, 968.0f / 3840, 1e-5);
    EXPECT_NEAR(screen.rect.x, 16, 1e-3);

    ViewFit squeezed = fitImageToView(100, 100, 3840, 2160, 1.0f);
    EXPECT_FLOAT_EQ(squeezed.scale, 0.01f);
}

TEST(ViewFit, ClientPointsMapToImagePixelsAndBack) {
    struct Case {
        float clientWidth, clientHeight, dpi;
        int imageWidth, imageHeight;
    };
    for (Case c : {Case{1000, 720, 1.0f, 200, 100}, Case{1500, 1080, 1.5f, 1920, 1080},
                   Case{830, 400, 1.25f, 640, 480}, Case{2000, 1440, 2.0f, 37, 3000}}) {
        ViewFit view = fitImageToView(c.clientWidth, c.clientHeight, c.imageWidth, c.imageHeight, c.dpi);
        for (MarkPoint p : {MarkPoint{0, 0}, MarkPoint{c.imageWidth / 3.0f, c.imageHeight / 2.0f},
                            MarkPoint{c.imageWidth - 1.0f, c.imageHeight - 1.0f}}) {
            MarkPoint client = imageToClient(p, view);
            EXPECT_TRUE(insideShownImage(client.x, client.y, view.rect));
            MarkPoint back = clientToImage(client.x, client.y, view, c.imageWidth, c.imageHeight);
            EXPECT_NEAR(back.x, p.x, 1e-2) << c.clientWidth << "x" << c.clientHeight;
            EXPECT_NEAR(back.y, p.y, 1e-2) << c.clientWidth << "x" << c.clientHeight;
        }
    }
}

TEST(ViewFit, PointsOffThePictureAreClampedToItsEdge) {
    ViewFit view = fitImageToView(1000, 720, 200, 100, 1.0f);
    MarkPoint topLeft = clientToImage(0, 0, view, 200, 100);
    EXPECT_FLOAT_EQ(topLeft.x, 0);
    EXPECT_FLOAT_EQ(topLeft.y, 0);
    MarkPoint farOut = clientToImage(5000, 5000, view, 200, 100);
    EXPECT_FLOAT_EQ(farOut.x, 199);
    EXPECT_FLOAT_EQ(farOut.y, 99);
    MarkPoint inside = clientToImage(16 + 4.84f * 10, 152 + 4.84f * 20, view, 200, 100);
    EXPECT_NEAR(inside.x, 10, 1e-3);
    EXPECT_NEAR(inside.y, 20, 1e-3);
}

TEST(ViewFit, ShownImageIsHalfOpen) {
    ViewRect rect{16, 152, 968, 484};
    EXPECT_TRUE(insideShownImage(16, 152, rect));
    EXPECT_TRUE(insideShownImage(983.9f, 635.9f, rect));
    EXPECT_FALSE(insideShownImage(984, 300, rect));
    EXPECT_FALSE(insideShownImage(500, 636, rect));
    EXPECT_FALSE(insideShownImage(15.9f, 300, rect));
    EXPECT_FALSE(insideShownImage(500, 100, rect));  // toolbar band
}

}  // namespace
