#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/win_handles.h"
#include "editor/annotation_draw.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/mark_editing.h"
#include "editor/mark_geometry.h"
#include "editor/shown_picture_win.h"
#include "editor/support/pictures_win.h"

namespace {

using namespace editortest;

constexpr std::uint32_t kGrey = 0xFF808080;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;

class Flattened : public ::testing::Test {
protected:
    void SetUp() override { editorState.baseImage = filledPicture(200, 120, kGrey); }
    void TearDown() override {
        editorState.baseImage.reset();
        editorState.annotations.clear();
        editorState.dragging = false;
    }

    std::unique_ptr<Gdiplus::Bitmap> flattenWith(std::initializer_list<Annotation> marks) {
        editorState.annotations.assign(marks.begin(), marks.end());
        auto picture = flattenImage();
        EXPECT_TRUE(picture);
        return picture;
    }
};

TEST_F(Flattened, LineIsAsThickAsItsPenAndNoThicker) {
    auto picture = flattenWith({mark(AnnotationKind::Line, 20, 60, 180, 60, kRed, 6)});
    for (int x : {30, 100, 170}) {
        for (int y = 58; y <= 62; ++y) EXPECT_EQ(pixel(*picture, x, y), kRed) << x << "," << y;
        EXPECT_EQ(pixel(*picture, x, 55), kGrey);
        EXPECT_EQ(pixel(*picture, x, 65), kGrey);
    }
    EXPECT_EQ(pixel(*picture, 10, 60), kGrey);
    EXPECT_EQ(pixel(*picture, 190, 60), kGrey);
}

TEST_F(Flattened, FrameIsAnOutlineTheSameWhicheverWayItWasDragged) {
    auto forward = flattenWith({mark(AnnotationKind::Frame, 30, 20, 120, 90, kBlue, 4)});
    auto backward = flattenWith({mark(AnnotationKind::Frame, 120, 90, 30, 20, kBlue, 4)});
    for (Gdiplus::Bitmap* picture : {forward.get(), backward.get()}) {
        EXPECT_EQ(pixel(*picture, 30, 55), kBlue);
        EXPECT_EQ(pixel(*picture, 120, 55), kBlue);
        EXPECT_EQ(pixel(*picture, 75, 20), kBlue);
        EXPECT_EQ(pixel(*picture, 75, 90), kBlue);
        EXPECT_EQ(pixel(*picture, 75, 55), kGrey);  // not filled
        EXPECT_EQ(pixel(*picture, 75, 15), kGrey);
        EXPECT_EQ(pixel(*picture, 25, 55), kGrey);
    }
    for (int y = 0; y < 120; y += 3)
        for (int x = 0; x < 200; x += 3) ASSERT_EQ(pixel(*forward, x, y), pixel(*backward, x, y)) << x << "," << y;
}

TEST_F(Flattened, ArrowHeadGrowsWithTheThickness) {
    // Tip at x 190; 30 pixels back a head side lies 30·tan(0.48) ≈ 15.6 off the shaft.
    auto thin = flattenWith({mark(AnnotationKind::Arrow, 20, 60, 190, 60, kRed, 2)});
    auto thick = flattenWith({mark(AnnotationKind::Arrow, 20, 60, 190, 60, kRed, 10)});
    EXPECT_EQ(pixel(*thick, 160, 72), kRed);
    EXPECT_EQ(pixel(*thick, 160, 48), kRed);
    EXPECT_EQ(pixel(*thin, 160, 72), kGrey);  // a 14-pixel head ends at x 176
    EXPECT_EQ(pixel(*thin, 160, 60), kRed);   // the shaft
    // The thin head: 8 pixels back it is ±4 wide.
    EXPECT_EQ(pixel(*thin, 182, 63), kRed);
    EXPECT_EQ(pixel(*thin, 182, 57), kRed);
    EXPECT_EQ(pixel(*thin, 182, 68), kGrey);
    EXPECT_EQ(pixel(*thick, 196, 60), kGrey);  // nothing beyond the tip but the round cap
}

TEST_F(Flattened, PenStrokeNeedsTwoPointsAndEndsRound) {
    Annotation single = mark(AnnotationKind::Pen, 50, 50, 50, 50, kRed, 10);
    auto untouched = flattenWith({single});
    EXPECT_EQ(countColour(*untouched, kGrey, 0, 0, 200, 120), 200 * 120);

    // Points on pixel centres, so the probes below are either wholly inside
    // a cap or wholly outside it, whatever the anti-aliasing.
    Annotation stroke = mark(AnnotationKind::Pen, 50.5f, 50.5f, 100.5f, 50.5f, kRed, 10);
    stroke.points.push_back({100.5f, 50.5f});
    stroke.points.push_back({100.5f, 100.5f});
    auto drawn = flattenWith({stroke});
    EXPECT_EQ(pixel(*drawn, 75, 50), kRed);
    EXPECT_EQ(pixel(*drawn, 100, 75), kRed);
    EXPECT_EQ(pixel(*drawn, 75, 70), kGrey);  // a polyline, not a closed shape
    // Round caps reach 4 pixels past each end along the stroke; the corner a
    // square cap would fill, 5.7 pixels off the end point, stays bare.
    EXPECT_EQ(pixel(*drawn, 47, 50), kRed);
    EXPECT_EQ(pixel(*drawn, 100, 104), kRed);
    EXPECT_EQ(pixel(*drawn, 46, 46), kGrey);
    EXPECT_EQ(pixel(*drawn, 46, 54), kGrey);
    EXPECT_EQ(pixel(*drawn, 105, 105), kGrey);
    EXPECT_EQ(pixel(*drawn, 96, 105), kGrey);
}

TEST_F(Flattened, LongPenStrokeIsDrawnThroughEveryPoint) {
    Annotation stroke = mark(AnnotationKind::Pen, 10, 10, 10, 10, kBlue, 2);
    stroke.points.clear();
    for (int i = 0; i < 4000; ++i) {  // a zigzag between rows 20 and 100
        float t = static_cast<float>(i) / 20.0f;
        stroke.points.push_back({10.0f + t, (i / 20) % 2 ? 100.0f - (i % 20) * 4.0f : 20.0f + (i % 20) * 4.0f});
    }
    auto picture = flattenWith({stroke});
    EXPECT_GT(countColour(*picture, kBlue, 10, 20, 200, 101), 2000);
    EXPECT_EQ(countColour(*picture, kBlue, 0, 0, 200, 16), 0);
}

TEST_F(Flattened, MosaicCellsAreUniformAndTakenFromTheirOwnPixels) {
    editorState.baseImage = patternedPicture(200, 120);
    auto picture = flattenWith({mark(AnnotationKind::Mosaic, 40, 20, 70, 50, kRed, 4)});
    // 30 × 30: 2 × 2 cells of 15 pixels.
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            int left = 40 + 15 * column, top = 20 + 15 * row;
            std::uint32_t cell = pixel(*picture, left + 7, top + 7);
            int sums[3] = {};
            for (int y = top; y < top + 15; ++y) {
                for (int x = left; x < left + 15; ++x) {
                    EXPECT_EQ(pixel(*picture, x, y), cell) << x << "," << y;
                    for (int channel = 0; channel < 3; ++channel) {
                        sums[channel] += patternColour(x, y) >> (8 * channel) & 0xFF;
                    }
                }
            }
            // The average of the 225 pixels under the cell, give or take the rounding.
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(static_cast<int>(cell >> (8 * channel) & 0xFF), sums[channel] / 225.0, 1.0)
                    << column << "," << row << " channel " << channel;
            }
        }
    }
    EXPECT_NE(pixel(*picture, 47, 27), pixel(*picture, 62, 27));
    EXPECT_NE(pixel(*picture, 47, 27), pixel(*picture, 47, 42));
    // Right outside the box the picture is the base image.
    for (int x = 30; x < 80; ++x) {
        EXPECT_EQ(pixel(*picture, x, 19), patternColour(x, 19)) << x;
        EXPECT_EQ(pixel(*picture, x, 50), patternColour(x, 50)) << x;
    }
    for (int y = 20; y < 50; ++y) {
        EXPECT_EQ(pixel(*picture, 39, y), patternColour(39, y)) << y;
        EXPECT_EQ(pixel(*picture, 70, y), patternColour(70, y)) << y;
    }
}

TEST_F(Flattened, FlatMosaicIsOneCellAndAThinOneIsNothing) {
    editorState.baseImage = patternedPicture(200, 120);
    auto wide = flattenWith({mark(AnnotationKind::Mosaic, 100, 60, 120, 65, kRed, 4)});
    std::uint32_t cell = pixel(*wide, 101, 61);
    EXPECT_EQ(countColour(*wide, cell, 100, 60, 120, 65), 100);

    auto thin = flattenWith({mark(AnnotationKind::Mosaic, 10, 60, 190, 61.5f, kRed, 4)});
    for (int x = 0; x < 200; ++x)
        for (int y = 58; y < 64; ++y) ASSERT_EQ(pixel(*thin, x, y), patternColour(x, y));
}

TEST_F(Flattened, LaterMarksCoverEarlierOnes) {
    Annotation arrow = mark(AnnotationKind::Arrow, 20, 40, 180, 40, kRed, 6);
    Annotation mosaic = mark(AnnotationKind::Mosaic, 60, 20, 120, 80, kRed, 4);
    Annotation blueLine = mark(AnnotationKind::Line, 100, 10, 100, 110, kBlue, 6);
    auto picture = flattenWith({arrow, mosaic, blueLine});
    EXPECT_EQ(pixel(*picture, 40, 40), kRed);   // arrow outside the mosaic
    EXPECT_EQ(pixel(*picture, 80, 40), kGrey);  // hidden under the mosaic of a grey base
    EXPECT_EQ(pixel(*picture, 100, 40), kBlue);
    EXPECT_EQ(pixel(*picture, 100, 100), kBlue);

    auto reversed = flattenWith({mosaic, arrow});
    EXPECT_EQ(pixel(*reversed, 80, 40), kRed);  // an arrow made after the mosaic lies on top
}

TEST_F(Flattened, TransparentBaseComesOutOpaqueWhite) {
    editorState.baseImage = filledPicture(40, 30, 0x00000000);
    Gdiplus::Color half(0x80FF0000);
    editorState.baseImage->SetPixel(5, 5, half);
    auto picture = flattenWith({mark(AnnotationKind::Mosaic, 0, 0, 39, 29, kRed, 4)});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(pixel(*picture, x, y) >> 24, 0xFFu) << x << "," << y;
    auto plain = flattenWith({});
    EXPECT_EQ(pixel(*plain, 20, 20), 0xFFFFFFFFu);
    std::uint32_t blended = pixel(*plain, 5, 5);
    EXPECT_EQ(blended >> 16 & 0xFF, 0xFFu);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 127, 2);
}

TEST_F(Flattened, TextStartsAtItsPointAndWrapsInsideTheImage) {
    Annotation word = mark(AnnotationKind::Text, 20, 20, 20, 20, kBlue, 4);
    word.points.clear();
    word.text = L"Ш";
    auto picture = flattenWith({word});
    int painted = 0, top = 120, bottom = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) {
            std::uint32_t colour = pixel(*picture, x, y);
            if (colour == kGrey) continue;
            ++painted;
            EXPECT_GE(x, 19);
            EXPECT_GE(y, 19);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    EXPECT_GT(painted, 30);
    EXPECT_LE(bottom - top + 1, 30);  // one glyph of a 26-pixel font

    Annotation sentence = word;
    sentence.x1 = sentence.x2 = 150;  // 50 pixels from the right edge
    sentence.text = L"один два три четыре";
    auto wrapped = flattenWith({sentence});
    int lowest = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            if (pixel(*wrapped, x, y) != kGrey) {
                EXPECT_GE(x, 149);
                lowest = std::max(lowest, y);
            }
    EXPECT_GT(lowest, 20 + 30);  // more than one line
}

TEST_F(Flattened, TextSizeFollowsTheThickness) {
    auto height = [&](float thickness) {
        Annotation word = mark(AnnotationKind::Text, 10, 10, 10, 10, kBlue, thickness);
        word.points.clear();
        word.text = L"Ш";
        auto picture = flattenWith({word});
        int top = 120, bottom = -1;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 200; ++x)
                if (pixel(*picture, x, y) != kGrey) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return bottom - top;
    };
    int small = height(2), large = height(10);
    EXPECT_GT(small, 8);
    EXPECT_GT(large, small + 8);  // 22 px against 38 px
}

TEST_F(Flattened, UnknownKindDrawsNothing) {
    Annotation odd = mark(static_cast<AnnotationKind>(9), 10, 10, 150, 100, kRed, 10);
    auto picture = flattenWith({odd});
    EXPECT_EQ(countColour(*picture, kGrey, 0, 0, 200, 120), 200 * 120);
}

TEST_F(Flattened, MarkStillBeingDrawnIsNotPartOfThePicture) {
    editorState.dragging = true;
    editorState.pendingMark = mark(AnnotationKind::Line, 0, 60, 199, 60, kRed, 10);
    auto picture = flattenWith({});
    EXPECT_EQ(countColour(*picture, kRed, 0, 0, 200, 120), 0);
}

TEST(MarksInTheView, WorldTransformScalesPositionAndThickness) {
    editorState.baseImage = filledPicture(100, 50, kGrey);
    Gdiplus::Bitmap view(400, 200, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&view);
        graphics.Clear(Gdiplus::Color(kGrey));
        graphics.ScaleTransform(4, 4);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        drawAnnotation(graphics, mark(AnnotationKind::Line, 10, 25, 90, 25, kRed, 2));
        EXPECT_EQ(graphics.GetInterpolationMode(), Gdiplus::InterpolationModeHighQualityBicubic);
        drawAnnotation(graphics, mark(AnnotationKind::Mosaic, 10, 10, 40, 40, kRed, 2));
        // The caller's settings are as they were.
        EXPECT_EQ(graphics.GetInterpolationMode(), Gdiplus::InterpolationModeHighQualityBicubic);
        EXPECT_EQ(graphics.GetSmoothingMode(), Gdiplus::SmoothingModeAntiAlias);
        EXPECT_EQ(graphics.GetPixelOffsetMode(), Gdiplus::PixelOffsetModeDefault);
    }
    editorState.baseImage.reset();
    EXPECT_EQ(pixel(view, 200, 97), kRed);  // 4 × 2 = 8 pixels thick around y 100
    EXPECT_EQ(pixel(view, 200, 103), kRed);
    EXPECT_EQ(pixel(view, 200, 106), kGrey);
    EXPECT_EQ(pixel(view, 60, 100), kGrey);  // under the mosaic of the unmarked base
}

TEST(MarksInTheView, EnlargedMosaicCellsAreSolidBlocksWithoutSeams) {
    editorState.baseImage = patternedPicture(100, 50);
    editorState.annotations = {mark(AnnotationKind::Mosaic, 10, 10, 40, 40, kRed, 2)};
    auto flat = flattenImage();
    editorState.annotations.clear();
    Gdiplus::Bitmap view(400, 200, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&view);
        graphics.Clear(Gdiplus::Color(kGrey));
        graphics.ScaleTransform(4, 4);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        drawAnnotation(graphics, mark(AnnotationKind::Mosaic, 10, 10, 40, 40, kRed, 2));
    }
    editorState.baseImage.reset();
    // 2 × 2 cells of 15 image pixels, 60 view pixels each, the colours of the
    // flattened picture's cells.
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column) {
            std::uint32_t cell = pixel(*flat, 10 + 15 * column, 10 + 15 * row);
            int left = 40 + 60 * column, top = 40 + 60 * row;
            EXPECT_EQ(countColour(view, cell, left, top, left + 60, top + 60), 60 * 60) << column << "," << row;
        }
    EXPECT_EQ(countColour(view, kGrey, 39, 40, 40, 160), 120);
    EXPECT_EQ(countColour(view, kGrey, 160, 40, 161, 160), 120);
    EXPECT_EQ(countColour(view, kGrey, 40, 39, 160, 40), 120);
    EXPECT_EQ(countColour(view, kGrey, 40, 160, 160, 161), 120);
}

// What the editor keeps between repaints follows every add, undo and redo
// to exactly the picture a paint from scratch shows: the undone marks here
// reach past their points (thick pens, an arrow head, wrapped text) over
// earlier marks, and an undone mosaic hid some.
TEST(KeptPicture, FollowsAddsUndosAndRedosToThePixel) {
    editorState.baseImage = patternedPicture(320, 200);
    Annotation text = mark(AnnotationKind::Text, 180, 100, 180, 100, kBlue, 4);
    text.text = L"один два три";
    Annotation stroke = mark(AnnotationKind::Pen, 30, 150, 30, 150, kRed, 6);
    for (int i = 1; i <= 9; ++i) stroke.points.push_back({30.0f + 30 * i, i % 2 ? 185.0f : 140.0f});
    // The last five are undone, the arrow first.
    const std::vector<Annotation> marks = {
        mark(AnnotationKind::Line, 10, 190, 310, 10, kBlue, 4),   mark(AnnotationKind::Arrow, 20, 60, 200, 60, kRed, 10),
        mark(AnnotationKind::Frame, 100, 40, 260, 150, kBlue, 10), mark(AnnotationKind::Mosaic, 40, 30, 150, 120, 0, 4),
        text, stroke, mark(AnnotationKind::Arrow, 290, 110, 120, 110, kRed, 10)};
    constexpr int kWidth = 900, kHeight = 600;
    DibCanvas window(kWidth, kHeight);
    auto painted = [&] {
        paintEditorOn(window.dc(), kWidth, kHeight, 1.0f);
        GdiFlush();
        return std::vector<std::uint32_t>(window.pixels(), window.pixels() + kWidth * kHeight);
    };
    std::vector<std::pair<std::vector<Annotation>, std::vector<std::uint32_t>>> steps;
    auto record = [&] { steps.emplace_back(editorState.annotations, painted()); };
    std::vector<Annotation>& list = editorState.annotations;
    std::vector<Annotation>& redo = editorState.redoStack;
    forgetShownPicture();
    record();
    for (const Annotation& added : marks) {
        addMark(list, redo, added);
        record();
    }
    for (int i = 0; i < 5; ++i) {
        undoMark(list, redo);
        record();
    }
    redoMark(list, redo);  // two between paints
    redoMark(list, redo);
    record();
    undoMark(list, redo);
    record();
    list.back().color = kRed;  // the last mark changed in place
    record();

    for (std::size_t step = 0; step < steps.size(); ++step) {
        list = steps[step].first;
        forgetShownPicture();
        std::vector<std::uint32_t> fresh = painted();
        EXPECT_EQ(std::mismatch(fresh.begin(), fresh.end(), steps[step].second.begin()).first - fresh.begin(),
                  kWidth * kHeight)
            << "step " << step;
    }
    forgetShownPicture();
    list.clear();
    redo.clear();
    editorState.baseImage.reset();
}

}  // namespace
