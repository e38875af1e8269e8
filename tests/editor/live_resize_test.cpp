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
