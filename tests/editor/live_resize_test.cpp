#include <gtest/gtest.h>

#include "editor/live_resize.h"

TEST(LiveResize, InTheSystemsLoopQuickFromTheFirstSizeStepUntilTheLoopEnds) {
    LiveResize resize;
    resize.loopEntered();
    EXPECT_FALSE(resize.quick());  // a move alone keeps the exact picture
    EXPECT_FALSE(resize.loopLeft());
    resize.loopEntered();
    resize.sized(false);
    EXPECT_TRUE(resize.quick());
    EXPECT_FALSE(resize.watchingButton());  // the loop's end decides, not the button
    EXPECT_FALSE(resize.buttonSeen(false));
    EXPECT_TRUE(resize.loopLeft());
    EXPECT_FALSE(resize.quick());
    EXPECT_FALSE(resize.loopLeft());  // the exact picture is asked for once
}

TEST(LiveResize, OutsideTheLoopQuickWhileTheButtonHoldsTheFrame) {
    LiveResize resize;
    resize.sized(false);  // maximised, or sized by a program: exact at once
    EXPECT_FALSE(resize.quick());
    resize.sized(true);
    EXPECT_TRUE(resize.quick());
    EXPECT_TRUE(resize.watchingButton());
    EXPECT_FALSE(resize.buttonSeen(true));
    EXPECT_TRUE(resize.quick());
    EXPECT_TRUE(resize.buttonSeen(false));
    EXPECT_FALSE(resize.quick());
    EXPECT_FALSE(resize.watchingButton());
    EXPECT_FALSE(resize.buttonSeen(false));  // once
}
