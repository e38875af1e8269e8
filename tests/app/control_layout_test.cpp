#include <gtest/gtest.h>

#include <algorithm>

#include "app/command_ids.h"
#include "app/control_layout.h"

namespace {

const ControlSpec* findButton(const std::vector<ControlSpec>& specs, int id) {
    auto found = std::find_if(specs.begin(), specs.end(),
                              [id](const ControlSpec& spec) { return spec.kind == ControlKind::Button && spec.id == id; });
    return found == specs.end() ? nullptr : &*found;
}

int countKind(const std::vector<ControlSpec>& specs, ControlKind kind) {
    return static_cast<int>(std::count_if(specs.begin(), specs.end(), [kind](const ControlSpec& s) { return s.kind == kind; }));
}

TEST(ControlLayout, EveryPageStartsWithTheTenCommonControlsInOrder) {
    const int order[] = {101, 102, 103, 908, 909, 400, 401, 402, 403, 404};
    for (int page = 0; page < PAGE_COUNT; ++page) {
        std::vector<ControlSpec> specs = mainControlSpecs(page);
        ASSERT_GE(specs.size(), 10u);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(specs[i].id, order[i]) << "page " << page << " control " << i;
    }
}

TEST(ControlLayout, TabButtonsSitOnA66UnitPitch) {
    std::vector<ControlSpec> specs = mainControlSpecs(0);
    for (int tab = 0; tab < PAGE_COUNT; ++tab) {
        const ControlSpec* button = findButton(specs, ID_PAGE_FIRST + tab);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->x, 26 + 66 * tab);
        EXPECT_EQ(button->width, 64);
        EXPECT_EQ(button->height, 43);
    }
}

TEST(ControlLayout, OnlyTheNewsAndProfilePagesHaveTheirOwnControls) {
    EXPECT_EQ(mainControlSpecs(0).size(), 10u);
    EXPECT_EQ(mainControlSpecs(1).size(), 10u);
    EXPECT_EQ(mainControlSpecs(2).size(), 10u);

    std::vector<ControlSpec> news = mainControlSpecs(3);
    ASSERT_EQ(news.size(), 11u);
    EXPECT_EQ(news.back().id, ID_OPEN_ACCOUNT);
    EXPECT_EQ(news.back().y, 302);

    std::vector<ControlSpec> profile = mainControlSpecs(4);
    ASSERT_EQ(profile.size(), 15u);
    EXPECT_EQ(profile[10].kind, ControlKind::AddressEdit);
    EXPECT_EQ(profile[11].kind, ControlKind::CodeEdit);
    EXPECT_EQ(profile[12].id, ID_LINK);
    EXPECT_EQ(profile[13].id, ID_OPEN_ACCOUNT);
    EXPECT_EQ(profile[14].id, ID_UNLINK);
    EXPECT_EQ(profile[13].y, 291);
}

TEST(ControlLayout, EditsExistOnlyOnTheProfilePage) {
    for (int page = 0; page < PAGE_COUNT; ++page) {
        std::vector<ControlSpec> specs = mainControlSpecs(page);
        int expected = page == 4 ? 1 : 0;
        EXPECT_EQ(countKind(specs, ControlKind::AddressEdit), expected);
        EXPECT_EQ(countKind(specs, ControlKind::CodeEdit), expected);
        EXPECT_EQ(findButton(specs, ID_LINK) != nullptr, page == 4);
        EXPECT_EQ(findButton(specs, ID_UNLINK) != nullptr, page == 4);
    }
}

TEST(ScaleUnits, EachValueIsTruncatedOnItsOwn) {
    // 125 %: the region button lands at (30, 90), 267 x 47; tab 1 at (115, 480), 80 x 53.
    EXPECT_EQ(scaleUnits(24, 120), 30);
    EXPECT_EQ(scaleUnits(72, 120), 90);
    EXPECT_EQ(scaleUnits(214, 120), 267);
    EXPECT_EQ(scaleUnits(38, 120), 47);
    EXPECT_EQ(scaleUnits(92, 120), 115);
    EXPECT_EQ(scaleUnits(384, 120), 480);
    EXPECT_EQ(scaleUnits(64, 120), 80);
    EXPECT_EQ(scaleUnits(43, 120), 53);
}

TEST(ScaleUnits, WholeScalesAndOddDpisCarryNoRoundingError) {
    EXPECT_EQ(scaleUnits(214, 96), 214);
    EXPECT_EQ(scaleUnits(214, 144), 321);
    EXPECT_EQ(scaleUnits(43, 144), 64);  // 64.5 truncates
    EXPECT_EQ(scaleUnits(214, 192), 428);
    // 96 units at 112 dpi is exactly 112 pixels; a float scale can land at 111.
    EXPECT_EQ(scaleUnits(96, 112), 112);
    EXPECT_EQ(scaleUnits(0, 144), 0);
}

TEST(DragBand, EndsSixtyFiveUnitsBelowTheTop) {
    EXPECT_TRUE(inDragBand(0, 96));
    EXPECT_TRUE(inDragBand(64, 96));
    EXPECT_FALSE(inDragBand(65, 96));
    // 150 %: the band is 97.5 pixels high, so 97 drags and 98 does not.
    EXPECT_TRUE(inDragBand(97, 144));
    EXPECT_FALSE(inDragBand(98, 144));
    EXPECT_TRUE(inDragBand(-3, 96));  // a press above the client area keeps dragging
}

}  // namespace
