#include <gtest/gtest.h>

#include "editor/mark_editing.h"

TEST(MarkDrag, MovesOfOnePixelOrLessAreDroppedUnlessAStrokeWentSomewhere) {
    struct Row { AnnotationKind kind; MarkPoint via, release; bool kept; };
    const Row rows[] = {
        {AnnotationKind::Frame, {50, 50}, {50, 50}, false},
        {AnnotationKind::Line, {51, 50}, {51, 50}, false},
        {AnnotationKind::Line, {52, 50}, {52, 50}, true},
        {AnnotationKind::Arrow, {50.6f, 50.6f}, {50.6f, 50.6f}, true},
        {AnnotationKind::Pen, {60, 50}, {50, 50}, true},  // a stroke back to its start
    };
    for (const Row& row : rows) {
        Annotation mark = beginMark(row.kind, {50, 50}, 0, 4);
        extendMark(mark, row.via);
        EXPECT_EQ(finishMark(mark, row.release), row.kept) << row.via.x;
    }
}

TEST(MarkDrag, PenStrokeKeepsEveryVisitedPointButNotTheRelease) {
    Annotation stroke = beginMark(AnnotationKind::Pen, {0, 0}, 0, 4);
    for (int i = 1; i <= 5000; ++i) extendMark(stroke, {static_cast<float>(i % 400), static_cast<float>(i / 400)});
    EXPECT_TRUE(finishMark(stroke, {7, 7}));
    ASSERT_EQ(stroke.points.size(), 5001u);
    EXPECT_FLOAT_EQ(stroke.points[4000].y, 10);
    EXPECT_FLOAT_EQ(stroke.x2, 7);
}

// Undo and redo themselves are the editor window's; here the empty lists and a new mark dropping the undone.
TEST(UndoRedo, NothingToMoveAndANewMarkDropsTheUndoneOnes) {
    std::vector<Annotation> marks, redo;
    EXPECT_FALSE(undoMark(marks, redo) || redoMark(marks, redo));
    addMark(marks, redo, beginMark(AnnotationKind::Pen, {0, 0}, 0, 4));
    ASSERT_TRUE(undoMark(marks, redo));
    addMark(marks, redo, beginMark(AnnotationKind::Arrow, {0, 0}, 0, 4));
    EXPECT_FALSE(redoMark(marks, redo));
    EXPECT_EQ(marks.size(), 1u);
}

TEST(Toolbar, ThicknessCyclesAndColoursConvertForTheDialog) {
    float thickness = 4;
    std::wstring shown;
    for (int press = 0; press < 5; ++press) shown += thicknessStatus(thickness = nextThickness(thickness)) + L";";
    EXPECT_EQ(shown, L"Толщина: 6 px;Толщина: 8 px;Толщина: 10 px;Толщина: 2 px;Толщина: 4 px;");
    EXPECT_FLOAT_EQ(nextThickness(12), 2);

    EXPECT_EQ(argbToColorref(0xFFFF647Au), 0x007A64FFu);
    EXPECT_EQ(colorrefToArgb(0x007A64FFu), 0xFFFF647Au);
    EXPECT_EQ(colorrefToArgb(0xFF000000u), 0xFF000000u);  // stray high bits are not alpha
}
