#include <gtest/gtest.h>

#include "app/button_look.h"
#include "app/command_ids.h"

namespace {

TEST(ButtonFace, PressedWinsOverEveryOtherFace) {
    EXPECT_EQ(buttonFace(ID_CAPTURE_REGION, true, 0), ButtonFace::Pressed);
    EXPECT_EQ(buttonFace(ID_TOOL_FIRST, true, 0), ButtonFace::Pressed);
    EXPECT_EQ(buttonFace(ID_CAPTURE_FULL, true, 0), ButtonFace::Pressed);
}

TEST(ButtonFace, PrimaryButtonsAreTheRegionLinkAndUploadButtons) {
    for (int id : {ID_CAPTURE_REGION, ID_LINK, ID_UPLOAD}) EXPECT_EQ(buttonFace(id, false, 0), ButtonFace::Primary);
    for (int id : {ID_CAPTURE_FULL, ID_REFRESH, ID_UNLINK, ID_SAVE, ID_COLOR, ID_TRAY_EXIT})
        EXPECT_EQ(buttonFace(id, false, 0), ButtonFace::Ordinary) << id;
}

TEST(ButtonFace, OnlyTheCurrentToolIsSelected) {
    EXPECT_EQ(buttonFace(ID_TOOL_FIRST + 3, false, 3), ButtonFace::SelectedTool);
    EXPECT_EQ(buttonFace(ID_TOOL_FIRST + 2, false, 3), ButtonFace::Ordinary);
    // The tab buttons' ids follow the tool ids; they are never a tool.
    EXPECT_EQ(buttonFace(ID_TOOL_FIRST + 6, false, 6), ButtonFace::Ordinary);
}

TEST(ButtonLabel, PrimaryButtonsKeepTheDarkLabelWhenPressed) {
    EXPECT_TRUE(hasDarkLabel(ID_CAPTURE_REGION));
    EXPECT_TRUE(hasDarkLabel(ID_UPLOAD));
    EXPECT_FALSE(hasDarkLabel(ID_CAPTURE_FULL));
}

TEST(TabButtons, AreTheFiveIdsFrom400) {
    EXPECT_FALSE(isTabButton(399));
    EXPECT_TRUE(isTabButton(400));
    EXPECT_TRUE(isTabButton(404));
    EXPECT_FALSE(isTabButton(405));
}

TEST(TabHighlight, HalfWayBetweenTwoTabsEachDrawsItsShare) {
    EXPECT_FLOAT_EQ(tabHighlightX(1.5f, 1), 33.0f);
    EXPECT_FLOAT_EQ(tabHighlightX(1.5f, 2), -33.0f);
    EXPECT_FLOAT_EQ(tabHighlightX(3.0f, 3), 0.0f);
    EXPECT_FLOAT_EQ(tabHighlightX(0.0f, 4), -264.0f);
}

}  // namespace
