#include <gtest/gtest.h>

#include <cmath>

#include "app/page_animation.h"

namespace {

// Ticks from rest at `from` to `to` until the timer would stop.
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

TEST(PageDirection, RightOfTheCurrentPageSlidesFromTheRight) {
    EXPECT_EQ(pageDirectionFor(4, 1), 1);
    EXPECT_EQ(pageDirectionFor(0, 3), -1);
    EXPECT_EQ(pageDirectionFor(2, 2), -1);
}

TEST(PageAnimation, StopsOnTheTickTheJumpNeeds) {
    EXPECT_EQ(ticksUntilStopped(0, 1), 19);
    EXPECT_EQ(ticksUntilStopped(0, 2), 19);
    EXPECT_EQ(ticksUntilStopped(0, 3), 21);
    EXPECT_EQ(ticksUntilStopped(0, 4), 22);
    EXPECT_EQ(ticksUntilStopped(4, 0), 22);
    EXPECT_EQ(ticksUntilStopped(2, 2), 19);  // the same page replays the fade
}

TEST(PageAnimation, EndsExactlyOnThePageWithTheFadeComplete) {
    PageMotion last{};
    ASSERT_GT(ticksUntilStopped(1, 4, &last), 0);
    EXPECT_EQ(last.indicatorPos, 4.0f);
    EXPECT_EQ(last.pageProgress, 1.0f);
}

TEST(PageAnimation, ARetargetStartsFromWhereTheHighlightStands) {
    PageTick tick = advancePageAnimation({2.5f, 0.0f}, 0);
    EXPECT_FLOAT_EQ(tick.motion.indicatorPos, 2.5f - 2.5f * 0.22f);
}

TEST(PageAnimation, AFinishedFadeWaitsForTheHighlight) {
    PageTick tick = advancePageAnimation({0.0f, 1.0f}, 3);
    EXPECT_FALSE(tick.finished);
    EXPECT_EQ(tick.motion.pageProgress, 1.0f);
}

}  // namespace
