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

Annotation penStroke(std::initializer_list<MarkPoint> points, float thickness) {
    Annotation stroke = mark(AnnotationKind::Pen, points.begin()->x, points.begin()->y, 0, 0, kRed, thickness);
    stroke.points.assign(points);
    return stroke;
}

// Probes on and just off each stroke: as thick as its pen, frames unfilled
// whichever way they were dragged, arrow heads growing with the thickness,
// pen strokes of two points or more with round caps (points on pixel centres,
// so each probe lies wholly inside a cap or wholly outside it).
TEST_F(Flattened, StrokesCoverTheirPixelsAndNoMore) {
    struct Probe {
        int x, y;
        std::uint32_t colour;
    };
    struct Case {
        Annotation mark;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {mark(AnnotationKind::Line, 20, 60, 180, 60, kRed, 6),
         {{100, 58}, {100, 62}, {100, 55, kGrey}, {100, 65, kGrey}, {10, 60, kGrey}, {190, 60, kGrey}}},
        {mark(AnnotationKind::Frame, 120, 90, 30, 20, kBlue, 4),
         {{30, 55, kBlue}, {120, 55, kBlue}, {75, 20, kBlue}, {75, 90, kBlue}, {75, 55, kGrey}, {75, 15, kGrey},
          {25, 55, kGrey}}},
        // Tip at x 190; a 14-pixel head is ±4 wide 8 pixels back and ends at x 176.
        {mark(AnnotationKind::Arrow, 20, 60, 190, 60, kRed, 2),
         {{160, 60}, {182, 63}, {182, 57}, {182, 68, kGrey}, {160, 72, kGrey}}},
        // 30 pixels back a head side of 40 lies 30·tan(0.48) ≈ 15.6 off the shaft.
        {mark(AnnotationKind::Arrow, 20, 60, 190, 60, kRed, 10), {{160, 72}, {160, 48}, {196, 60, kGrey}}},
        {penStroke({{50.5f, 50.5f}, {100.5f, 50.5f}, {100.5f, 100.5f}}, 10),
         {{75, 50}, {100, 75}, {47, 50}, {100, 104}, {75, 70, kGrey}, {46, 46, kGrey}, {46, 54, kGrey},
          {105, 105, kGrey}, {96, 105, kGrey}}},
        {penStroke({{50, 50}}, 10), {{50, 50, kGrey}}},
    };
    for (const Case& c : cases) {
        auto picture = flattenWith({c.mark});
        for (const Probe& probe : c.probes)
            EXPECT_EQ(pixel(*picture, probe.x, probe.y), probe.colour ? probe.colour : c.mark.color)
                << static_cast<int>(c.mark.kind) << " at " << probe.x << "," << probe.y;
    }
}

TEST_F(Flattened, MosaicCellsAreUniformAndTheirSurroundingsUntouched) {
    editorState.baseImage = patternedPicture(200, 120);
    auto picture = flattenWith({mark(AnnotationKind::Mosaic, 40, 20, 70, 50, kRed, 4)});
    // 30 × 30: 2 × 2 cells of 15 pixels, each its own colour.
    std::vector<std::uint32_t> cells;
    for (int top : {20, 35})
        for (int left : {40, 55}) {
            cells.push_back(pixel(*picture, left, top));
            EXPECT_EQ(countColour(*picture, cells.back(), left, top, left + 15, top + 15), 225) << left << "," << top;
        }
    EXPECT_NE(cells[0], cells[1]);
    EXPECT_NE(cells[0], cells[2]);
    int changed = 0;
    for (int y = 10; y < 60; ++y)
        for (int x = 30; x < 80; ++x)
            if (x < 40 || x >= 70 || y < 20 || y >= 50) changed += pixel(*picture, x, y) != patternColour(x, y);
    EXPECT_EQ(changed, 0);
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

TEST_F(Flattened, TransparentBaseComesOutOpaqueOverWhite) {
    editorState.baseImage = filledPicture(40, 30, 0x80FF0000);
    auto picture = flattenWith({mark(AnnotationKind::Mosaic, 0, 0, 20, 29, kRed, 4)});
    EXPECT_EQ(pixel(*picture, 10, 10) >> 24, 0xFFu);
    EXPECT_EQ(pixel(*picture, 30, 10) & 0xFFFF0000u, 0xFFFF0000u);
    EXPECT_NEAR(static_cast<int>(pixel(*picture, 30, 10) & 0xFF), 127, 2);
}

// The box around every pixel that is not the grey base.
RECT inked(Gdiplus::Bitmap& picture) {
    RECT box{200, 120, -1, -1};
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            if (pixel(picture, x, y) != kGrey) box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                                                      std::max<LONG>(box.right, x), std::max<LONG>(box.bottom, y)};
    return box;
}

TEST_F(Flattened, TextStartsAtItsPointGrowsWithTheThicknessAndWrapsInsideTheImage) {
    auto text = [&](float x, float thickness, const wchar_t* words) {
        Annotation made = mark(AnnotationKind::Text, x, 20, x, 20, kBlue, thickness);
        made.points.clear();
        made.text = words;
        return inked(*flattenWith({made}));
    };
    RECT small = text(20, 2, L"Ш"), large = text(20, 10, L"Ш");
    EXPECT_GE(small.left, 19);
    EXPECT_GE(small.top, 19);
    EXPECT_GT(small.bottom - small.top, 8);
    EXPECT_GT(large.bottom - large.top, small.bottom - small.top + 8);  // 22 px against 38 px
    EXPECT_LT(large.bottom - large.top, 45);                            // one line

    RECT wrapped = text(150, 4, L"один два три четыре");  // 50 pixels from the right edge
    EXPECT_GE(wrapped.left, 149);
    EXPECT_GT(wrapped.bottom, 20 + 30);  // more than one line
}

TEST_F(Flattened, MarkStillBeingDrawnIsNotPartOfThePicture) {
    editorState.dragging = true;
    editorState.pendingMark = mark(AnnotationKind::Line, 0, 60, 199, 60, kRed, 10);
    auto picture = flattenWith({});
    EXPECT_EQ(countColour(*picture, kRed, 0, 0, 200, 120), 0);
}

// Marks drawn into the editor's enlarged view: strokes as thick as the
// scale makes them, mosaic cells solid blocks of the flattened picture's
// colours without seams, and the caller's drawing settings kept.
TEST(MarksInTheView, ScaleWithTheViewAndLeaveItsSettingsAlone) {
    editorState.baseImage = patternedPicture(100, 50);
    Annotation mosaic = mark(AnnotationKind::Mosaic, 10, 10, 40, 40, kRed, 2);
    editorState.annotations = {mosaic};
    auto flat = flattenImage();
    editorState.annotations.clear();
    Gdiplus::Bitmap view(400, 200, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&view);
        graphics.Clear(Gdiplus::Color(kGrey));
        graphics.ScaleTransform(4, 4);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        drawAnnotation(graphics, mark(AnnotationKind::Line, 50, 45, 90, 45, kRed, 2));
        drawAnnotation(graphics, mosaic);
        EXPECT_EQ(graphics.GetInterpolationMode(), Gdiplus::InterpolationModeHighQualityBicubic);
        EXPECT_EQ(graphics.GetSmoothingMode(), Gdiplus::SmoothingModeAntiAlias);
        EXPECT_EQ(graphics.GetPixelOffsetMode(), Gdiplus::PixelOffsetModeDefault);
    }
    editorState.baseImage.reset();
    EXPECT_EQ(pixel(view, 300, 177), kRed);  // 4 × 2 = 8 pixels thick around y 180
    EXPECT_EQ(pixel(view, 300, 183), kRed);
    EXPECT_EQ(pixel(view, 300, 186), kGrey);
    // 2 × 2 cells of 15 image pixels, 60 view pixels each, framed by the grey.
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column) {
            std::uint32_t cell = pixel(*flat, 10 + 15 * column, 10 + 15 * row);
            int left = 40 + 60 * column, top = 40 + 60 * row;
            EXPECT_EQ(countColour(view, cell, left, top, left + 60, top + 60), 60 * 60) << column << "," << row;
        }
    EXPECT_EQ(countColour(view, kGrey, 39, 39, 161, 161), 122 * 122 - 120 * 120);
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
