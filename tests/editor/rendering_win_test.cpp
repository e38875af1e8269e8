#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/mark_editing.h"
#include "editor/shown_picture_win.h"
#include "editor/support/pictures_win.h"

namespace {

using namespace editortest;

class Flattened : public ::testing::Test {
protected:
    void TearDown() override {
        forgetShownPicture();
        editorState.baseImage.reset();
        editorState.annotations.clear();
        editorState.redoStack.clear();
        editorState.dragging = false;
    }
};

// Every kind of mark on real pixels, later marks over earlier ones; the
// mark still being dragged stays out.
TEST_F(Flattened, MarksMatchTheStoredPicture) {
    editorState.baseImage = patternedPicture(320, 200);
    editorState.annotations = sampleMarks();
    editorState.dragging = true;
    editorState.pendingMark = mark(AnnotationKind::Line, 0, 100, 319, 100, 0xFF00FF00, 10);
    expectLikeStored(pixelsOf(*flattenImage()), L"flattened");
}

// What the editor keeps between repaints follows every add, undo and redo
// to exactly the picture a paint from scratch shows: the undone marks here
// reach past their points (thick pens, an arrow head, wrapped text) over
// earlier marks, and an undone mosaic hid some.
TEST_F(Flattened, KeptPictureFollowsAddsUndosAndRedosToThePixel) {
    editorState.baseImage = patternedPicture(320, 200);
    constexpr int kWidth = 900, kHeight = 600;
    DibCanvas window(kWidth, kHeight);
    auto painted = [&] {
        paintEditorOn(window.dc(), kWidth, kHeight, 1.0f, PictureQuality::Exact);
        GdiFlush();
        return std::vector<std::uint32_t>(window.pixels(), window.pixels() + kWidth * kHeight);
    };
    std::vector<std::pair<std::vector<Annotation>, std::vector<std::uint32_t>>> steps;
    auto record = [&] { steps.emplace_back(editorState.annotations, painted()); };
    std::vector<Annotation>& list = editorState.annotations;
    std::vector<Annotation>& redo = editorState.redoStack;
    record();
    for (const Annotation& added : sampleMarks()) {
        addMark(list, redo, added);
        record();
    }
    for (int i = 0; i < 5; ++i) {  // the last one first
        undoMark(list, redo);
        record();
    }
    redoMark(list, redo);  // two between paints
    redoMark(list, redo);
    record();
    undoMark(list, redo);
    record();
    list.back().color = 0xFFFF0000;  // the last mark changed in place
    record();

    for (std::size_t step = 0; step < steps.size(); ++step) {
        list = steps[step].first;
        forgetShownPicture();
        std::vector<std::uint32_t> fresh = painted();
        EXPECT_EQ(std::mismatch(fresh.begin(), fresh.end(), steps[step].second.begin()).first - fresh.begin(),
                  kWidth * kHeight)
            << "step " << step;
    }
}

}  // namespace
