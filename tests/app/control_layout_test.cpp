#include <gtest/gtest.h>

#include "app/button_look.h"
#include "app/command_ids.h"
#include "app/control_layout.h"
#include "app/page_animation.h"

namespace {

TEST(ControlLayout, TheCommonControlsThenEachPagesOwn) {
    const std::vector<int> common = {101, 102, 103, 908, 909, 400, 401, 402, 403, 404};
    const std::vector<int> own[PAGE_COUNT] = {{}, {}, {}, {ID_OPEN_ACCOUNT}, {0, 0, ID_LINK, ID_OPEN_ACCOUNT, ID_UNLINK}};
    for (int page = 0; page < PAGE_COUNT; ++page) {
        std::vector<int> ids;
        for (const ControlSpec& spec : mainControlSpecs(page)) ids.push_back(spec.id);
        std::vector<int> expected = common;
        expected.insert(expected.end(), own[page].begin(), own[page].end());
        EXPECT_EQ(ids, expected) << "page " << page;
    }
}

TEST(ScaleUnits, EachValueIsTruncatedOnItsOwn) {
    struct Row { int units; unsigned dpi; int pixels; };
    // At 125 % the region button is 267 pixels wide, not 214 x 1.25 rounded up.
    const Row rows[] = {{214, 120, 267}, {43, 120, 53}, {214, 96, 214}, {43, 144, 64}, {96, 112, 112}, {43, 168, 75}};
    for (const Row& row : rows) EXPECT_EQ(scaleUnits(row.units, row.dpi), row.pixels) << row.units << " at " << row.dpi;
}

TEST(DragBand, EndsSixtyFiveUnitsBelowTheTop) {
    EXPECT_TRUE(inDragBand(-3, 96));  // a press above the client area keeps dragging
    EXPECT_TRUE(inDragBand(64, 96));
    EXPECT_FALSE(inDragBand(65, 96));
    EXPECT_TRUE(inDragBand(97, 144));  // the band is 97.5 pixels high at 150 %
    EXPECT_FALSE(inDragBand(98, 144));
}

TEST(ButtonLook, FacesAndTheTabHighlight) {
    constexpr int frame = 2;
    for (int id : {ID_CAPTURE_REGION, ID_LINK, ID_UPLOAD}) EXPECT_EQ(buttonFace(id, false, frame), ButtonFace::Primary) << id;
    for (int id : {ID_CAPTURE_FULL, ID_TOOL_FIRST + 1, ID_UNLINK, ID_PAGE_FIRST + frame}) {
        EXPECT_EQ(buttonFace(id, false, frame), ButtonFace::Ordinary) << id;
    }
    EXPECT_FLOAT_EQ(tabHighlightX(1.5f, 1), 33.0f);
}

// Ticks from rest at `from` towards `to` until the animation finishes.
int ticksUntilStopped(int from, int to, PageMotion* last = nullptr) {
    PageMotion motion{static_cast<float>(from), 0.0f};
    for (int tick = 1; tick <= 100; ++tick) {
        PageTick step = advancePageAnimation(motion, to);
        motion = step.motion;
        if (step.finished) {
            if (last) *last = motion;
            return tick;
        }
    }
    return -1;
}

TEST(PageAnimation, StopsOnThePageOnTheTickTheJumpNeeds) {
    const int rows[][3] = {{0, 1, 19}, {0, 3, 21}, {0, 4, 22}, {4, 0, 22}, {2, 2, 19}};  // the same page replays the fade
    for (const auto& row : rows) EXPECT_EQ(ticksUntilStopped(row[0], row[1]), row[2]) << row[0] << " to " << row[1];
    PageMotion last{};
    ASSERT_GT(ticksUntilStopped(1, 4, &last), 0);
    EXPECT_EQ(last.indicatorPos, 4.0f);
    EXPECT_EQ(last.pageProgress, 1.0f);
}

TEST(PageAnimation, TheNewPageSlidesInFromTheSideItLiesOn) {
    EXPECT_EQ(pageDirectionFor(4, 1), 1);
    EXPECT_EQ(pageDirectionFor(2, 2), -1);
}

}  // namespace
