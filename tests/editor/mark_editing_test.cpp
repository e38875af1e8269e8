#include <gtest/gtest.h>

#include "editor/mark_editing.h"

namespace {

struct MarkList {
    std::vector<Annotation> marks;
    std::vector<Annotation> redo;

    void drag(AnnotationKind kind, MarkPoint from, MarkPoint to) {
        Annotation mark = beginMark(kind, from, 0xFF00FF00, 4);
        extendMark(mark, to);
        if (finishMark(mark, to)) addMark(marks, redo, std::move(mark));
    }
};

TEST(MarkDrag, PressStartsAMarkAtOnePoint) {
    Annotation mark = beginMark(AnnotationKind::Frame, {12, 34}, 0xFF0000FF, 6);
    EXPECT_EQ(mark.kind, AnnotationKind::Frame);
    EXPECT_FLOAT_EQ(mark.x2, 12);
    EXPECT_FLOAT_EQ(mark.y2, 34);
    ASSERT_EQ(mark.points.size(), 1u);
    EXPECT_FLOAT_EQ(mark.points[0].x, 12);
    EXPECT_EQ(mark.color, 0xFF0000FFu);
    EXPECT_FLOAT_EQ(mark.thickness, 6);
    EXPECT_TRUE(mark.text.empty());
}

TEST(MarkDrag, ClicksAndOnePixelDragsAreDropped) {
    Annotation still = beginMark(AnnotationKind::Frame, {50, 50}, 0, 4);
    EXPECT_FALSE(finishMark(still, {50, 50}));
    Annotation onePixel = beginMark(AnnotationKind::Line, {50, 50}, 0, 4);
    EXPECT_FALSE(finishMark(onePixel, {51, 50}));
    Annotation twoPixels = beginMark(AnnotationKind::Line, {50, 50}, 0, 4);
    EXPECT_TRUE(finishMark(twoPixels, {52, 50}));
    EXPECT_FLOAT_EQ(twoPixels.x2, 52);
    Annotation diagonal = beginMark(AnnotationKind::Arrow, {50, 50}, 0, 4);
    EXPECT_TRUE(finishMark(diagonal, {50.6f, 50.6f}));
}

TEST(MarkDrag, PenStrokeKeepsEveryVisitedPointButNotTheRelease) {
    Annotation stroke = beginMark(AnnotationKind::Pen, {0, 0}, 0, 4);
    for (int i = 1; i <= 5000; ++i) extendMark(stroke, {static_cast<float>(i % 400), static_cast<float>(i / 400)});
    EXPECT_TRUE(finishMark(stroke, {7, 7}));
    ASSERT_EQ(stroke.points.size(), 5001u);
    EXPECT_FLOAT_EQ(stroke.points[4000].x, 0);
    EXPECT_FLOAT_EQ(stroke.points[4000].y, 10);
    EXPECT_FLOAT_EQ(stroke.points.back().x, 200);
    EXPECT_FLOAT_EQ(stroke.x2, 7);
}

TEST(MarkDrag, StrokeBackToItsStartIsKept) {
    Annotation loop = beginMark(AnnotationKind::Pen, {30, 30}, 0, 4);
    extendMark(loop, {60, 30});
    extendMark(loop, {30, 30});
    EXPECT_TRUE(finishMark(loop, {30, 30}));
}

TEST(MarkDrag, OnlyPenStrokesCollectPoints) {
    for (AnnotationKind kind : {AnnotationKind::Arrow, AnnotationKind::Frame, AnnotationKind::Line,
                                AnnotationKind::Mosaic}) {
        Annotation mark = beginMark(kind, {1, 1}, 0, 4);
        extendMark(mark, {40, 40});
        extendMark(mark, {80, 10});
        EXPECT_EQ(mark.points.size(), 1u);
        EXPECT_FLOAT_EQ(mark.x2, 80);
        EXPECT_FLOAT_EQ(mark.y2, 10);
    }
}

TEST(MarkDrag, TextMarkHasNoStroke) {
    Annotation mark = textMark({5, 6}, 0xFF112233, 10, L"  ");
    EXPECT_EQ(mark.kind, AnnotationKind::Text);
    EXPECT_TRUE(mark.points.empty());
    EXPECT_EQ(mark.text, L"  ");
    EXPECT_FLOAT_EQ(mark.x2, 5);
}

TEST(UndoRedo, MarksMoveBetweenTheListsWhole) {
    MarkList list;
    list.drag(AnnotationKind::Pen, {0, 0}, {10, 10});
    list.drag(AnnotationKind::Frame, {5, 5}, {50, 50});
    list.drag(AnnotationKind::Line, {1, 1}, {9, 9});
    ASSERT_TRUE(undoMark(list.marks, list.redo));
    ASSERT_TRUE(undoMark(list.marks, list.redo));
    ASSERT_EQ(list.marks.size(), 1u);
    ASSERT_EQ(list.redo.size(), 2u);
    EXPECT_EQ(list.redo.back().kind, AnnotationKind::Frame);

    ASSERT_TRUE(redoMark(list.marks, list.redo));
    ASSERT_EQ(list.marks.size(), 2u);
    EXPECT_EQ(list.marks.back().kind, AnnotationKind::Frame);
    EXPECT_EQ(list.redo.back().kind, AnnotationKind::Line);

    ASSERT_TRUE(undoMark(list.marks, list.redo));
    ASSERT_TRUE(undoMark(list.marks, list.redo));
    EXPECT_EQ(list.redo.back().kind, AnnotationKind::Pen);
    EXPECT_EQ(list.redo.back().points.size(), 2u);
}

TEST(UndoRedo, EveryMarkCanBeUndoneAndRedone) {
    MarkList list;
    for (int i = 0; i < 2000; ++i) list.drag(AnnotationKind::Line, {0, 0}, {10.0f + i, 10});
    std::vector<Annotation> drawn = list.marks;
    while (undoMark(list.marks, list.redo)) {
    }
    EXPECT_TRUE(list.marks.empty());
    EXPECT_EQ(list.redo.size(), 2000u);
    while (redoMark(list.marks, list.redo)) {
    }
    EXPECT_EQ(list.marks, drawn);
    EXPECT_TRUE(list.redo.empty());
}

TEST(UndoRedo, EmptyListsChangeNothing) {
    MarkList list;
    EXPECT_FALSE(undoMark(list.marks, list.redo));
    EXPECT_FALSE(redoMark(list.marks, list.redo));
    list.drag(AnnotationKind::Line, {1, 1}, {9, 9});
    EXPECT_FALSE(redoMark(list.marks, list.redo));
    EXPECT_EQ(list.marks.size(), 1u);
    EXPECT_TRUE(list.redo.empty());
}

TEST(UndoRedo, NewMarkAfterUndoDropsTheRedoStack) {
    MarkList list;
    for (int i = 0; i < 3; ++i) list.drag(AnnotationKind::Line, {0, 0}, {10.0f + i, 10});
    undoMark(list.marks, list.redo);
    undoMark(list.marks, list.redo);
    list.drag(AnnotationKind::Arrow, {0, 0}, {30, 30});
    EXPECT_TRUE(list.redo.empty());
    EXPECT_FALSE(redoMark(list.marks, list.redo));
    ASSERT_EQ(list.marks.size(), 2u);
    EXPECT_EQ(list.marks.back().kind, AnnotationKind::Arrow);
}

TEST(UndoRedo, DroppedClickLeavesTheRedoStackAlone) {
    MarkList list;
    list.drag(AnnotationKind::Line, {0, 0}, {10, 10});
    undoMark(list.marks, list.redo);
    list.drag(AnnotationKind::Frame, {3, 3}, {3, 3});
    EXPECT_EQ(list.redo.size(), 1u);
    EXPECT_TRUE(list.marks.empty());
}

TEST(Thickness, CyclesThroughTheFiveStepsWithItsStatus) {
    float thickness = 4;
    std::vector<std::wstring> shown;
    for (int press = 0; press < 5; ++press) {
        thickness = nextThickness(thickness);
        shown.push_back(thicknessStatus(thickness));
    }
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"Толщина: 6 px", L"Толщина: 8 px", L"Толщина: 10 px",
                                                 L"Толщина: 2 px", L"Толщина: 4 px"}));
    EXPECT_FLOAT_EQ(nextThickness(12), 2);
}

TEST(Colour, DialogFormRoundTripsAndComesBackOpaque) {
    EXPECT_EQ(argbToColorref(0xFFFF647Au), 0x007A64FFu);
    EXPECT_EQ(colorrefToArgb(0x007A64FFu), 0xFFFF647Au);
    EXPECT_EQ(colorrefToArgb(argbToColorref(0x20123456u)), 0xFF123456u);
    EXPECT_EQ(colorrefToArgb(0xFF000000u), 0xFF000000u);  // stray high bits are not alpha
}

}  // namespace
