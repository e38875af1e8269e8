#include <gtest/gtest.h>

#include <climits>

#include "app/page_model.h"

using nlohmann::json;

namespace {

std::array<std::string, 7> weekKeys() {
    return {"2026-03-01", "2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05", "2026-03-06", "2026-03-07"};
}

TEST(Decimal, PlainDigitsWithMinusAndNoGrouping) {
    EXPECT_EQ(decimal(0), "0");
    EXPECT_EQ(decimal(1234567), "1234567");
    EXPECT_EQ(decimal(-42), "-42");
    EXPECT_EQ(decimal(INT64_MIN), "-9223372036854775808");
}

TEST(QuotaPage, UnlinkedWithEmptyProfileShowsDefaults) {
    QuotaView view = quotaView(json::object(), false);
    EXPECT_EQ(view.badge, "FREE");
    EXPECT_EQ(view.usedText, "—");
    EXPECT_EQ(view.limitText, "/ 30");
    EXPECT_FALSE(view.showFill);
    EXPECT_EQ(view.caption, "Привяжите аккаунт на вкладке «Профиль».");
}

TEST(QuotaPage, UnlinkedStillShowsTheProfileLimitAndBar) {
    QuotaView view = quotaView(json{{"used", 15}, {"limit", 60}, {"pro", true}}, false);
    EXPECT_EQ(view.badge, "PRO");
    EXPECT_EQ(view.usedText, "—");
    EXPECT_EQ(view.limitText, "/ 60");
    EXPECT_TRUE(view.showFill);
    EXPECT_FLOAT_EQ(view.fillWidth, 83.0f);
}

TEST(QuotaPage, LinkedPartlyUsed) {
    QuotaView view = quotaView(json{{"used", 7}, {"limit", 30}}, true);
    EXPECT_EQ(view.usedText, "7");
    EXPECT_EQ(view.limitText, "/ 30");
    EXPECT_TRUE(view.showFill);
    EXPECT_NEAR(view.fillWidth, 77.4667f, 0.001f);
    EXPECT_EQ(view.caption, "Ещё 23 загрузок • сброс в 00:00 UTC");
}

TEST(QuotaPage, UsedAboveLimitFillsTheBarAndLeavesNone) {
    QuotaView view = quotaView(json{{"used", 35}, {"limit", 30}}, true);
    EXPECT_FLOAT_EQ(view.fillWidth, kQuotaBarWidth);
    EXPECT_EQ(view.caption, "Ещё 0 загрузок • сброс в 00:00 UTC");
}

TEST(QuotaPage, NothingUsedDrawsNoStub) {
    QuotaView view = quotaView(json{{"used", 0}, {"limit", 30}}, true);
    EXPECT_FALSE(view.showFill);
    EXPECT_EQ(view.fillWidth, 0.0f);
    EXPECT_EQ(view.caption, "Ещё 30 загрузок • сброс в 00:00 UTC");
}

TEST(QuotaPage, LimitZero) {
    QuotaView some = quotaView(json{{"used", 3}, {"limit", 0}}, true);
    EXPECT_TRUE(some.showFill);
    EXPECT_FLOAT_EQ(some.fillWidth, kQuotaBarWidth);
    EXPECT_EQ(some.limitText, "/ 0");
    EXPECT_EQ(some.caption, "Ещё 0 загрузок • сброс в 00:00 UTC");

    QuotaView none = quotaView(json{{"used", 0}, {"limit", 0}}, true);  // 0 / 0 must not leak a NaN width
    EXPECT_FALSE(none.showFill);
    EXPECT_EQ(none.fillWidth, 0.0f);
}

TEST(QuotaPage, NegativeValuesNeverDrawABarOutsideTheTrack) {
    QuotaView negativeUsed = quotaView(json{{"used", -5}, {"limit", 30}}, true);
    EXPECT_EQ(negativeUsed.usedText, "-5");
    EXPECT_FALSE(negativeUsed.showFill);
    EXPECT_EQ(negativeUsed.fillWidth, 0.0f);
    EXPECT_EQ(negativeUsed.caption, "Ещё 35 загрузок • сброс в 00:00 UTC");

    QuotaView negativeLimit = quotaView(json{{"used", 4}, {"limit", -10}}, true);
    EXPECT_EQ(negativeLimit.limitText, "/ -10");
    EXPECT_FALSE(negativeLimit.showFill);
    EXPECT_EQ(negativeLimit.caption, "Ещё 0 загрузок • сброс в 00:00 UTC");

    QuotaView negativeOverZero = quotaView(json{{"used", -3}, {"limit", 0}}, true);
    EXPECT_FALSE(negativeOverZero.showFill);
}

TEST(QuotaPage, ExtremeNumbersNeitherOverflowNorWrap) {
    QuotaView view = quotaView(json{{"used", INT64_MIN}, {"limit", INT64_MAX}}, true);
    EXPECT_EQ(view.caption.rfind("Ещё ", 0), 0u);
    EXPECT_EQ(view.caption.find("Ещё -"), std::string::npos);
    EXPECT_FALSE(view.showFill);

    QuotaView huge = quotaView(json::parse(R"({"used": 18446744073709551615, "limit": 1e300})"), true);
    EXPECT_EQ(huge.usedText, huge.limitText.substr(2));  // both clamped to the same largest count
    EXPECT_EQ(huge.caption, "Ещё 0 загрузок • сброс в 00:00 UTC");
}

TEST(QuotaPage, BadgeIsProOnlyForBooleanTrue) {
    EXPECT_EQ(quotaView(json{{"pro", true}}, true).badge, "PRO");
    EXPECT_EQ(quotaView(json{{"pro", false}}, true).badge, "FREE");
    EXPECT_EQ(quotaView(json{{"pro", "true"}}, true).badge, "FREE");
    EXPECT_EQ(quotaView(json{{"pro", 1}}, true).badge, "FREE");
    EXPECT_EQ(quotaView(json{{"pro", nullptr}}, true).badge, "FREE");
}

TEST(QuotaPage, MembersOfOtherTypesFallBackToDefaults) {
    QuotaView view = quotaView(json{{"used", "7"}, {"limit", json::array({1})}}, true);
    EXPECT_EQ(view.usedText, "0");
    EXPECT_EQ(view.limitText, "/ 30");
    QuotaView fractions = quotaView(json{{"used", 7.9}, {"limit", -2.5}}, true);
    EXPECT_EQ(fractions.usedText, "7");
    EXPECT_EQ(fractions.limitText, "/ -2");
}

TEST(QuotaPage, ProfileThatIsNoObjectShowsDefaults) {
    for (const json& profile : {json(), json::array({1, 2}), json("used"), json(12), json(true)}) {
        QuotaView view = quotaView(profile, true);
        EXPECT_EQ(view.badge, "FREE") << profile.dump();
        EXPECT_EQ(view.usedText, "0") << profile.dump();
        EXPECT_EQ(view.limitText, "/ 30") << profile.dump();
        EXPECT_FALSE(view.showFill) << profile.dump();
    }
}

TEST(WeekPage, EmptyWeekShowsSevenStubs) {
    WeekView view = weekView({0, 0, 0, 0, 0, 0, 0}, weekKeys());
    for (float height : view.barHeights) EXPECT_FLOAT_EQ(height, kEmptyDayBar);
    EXPECT_EQ(view.totalText, "0 снимков");
}

TEST(WeekPage, BarsScaleToTheBusiestDay) {
    WeekView view = weekView({0, 0, 5, 10, 0, 0, 1}, weekKeys());
    std::array<float, 7> expected{4, 4, 55, 110, 4, 4, 11};
    for (int day = 0; day < 7; ++day) EXPECT_FLOAT_EQ(view.barHeights[day], expected[day]) << day;
    EXPECT_EQ(view.totalText, "16 снимков");
}

TEST(WeekPage, FractionalHeightsAreKept) {
    WeekView view = weekView({3, 7, 0, 0, 0, 0, 0}, weekKeys());
    EXPECT_NEAR(view.barHeights[0], 330.0f / 7.0f, 0.001f);
    EXPECT_FLOAT_EQ(view.barHeights[1], kTallestBar);
}

TEST(WeekPage, AllEqualDaysAreAllTallest) {
    WeekView view = weekView({4, 4, 4, 4, 4, 4, 4}, weekKeys());
    for (float height : view.barHeights) EXPECT_FLOAT_EQ(height, kTallestBar);
    EXPECT_EQ(view.totalText, "28 снимков");
}

TEST(WeekPage, OneHugeDayNeitherOverflowsNorHidesTheOthers) {
    WeekView view = weekView({INT_MAX, 1, 0, INT_MAX, 0, 0, 2}, weekKeys());
    EXPECT_FLOAT_EQ(view.barHeights[0], kTallestBar);
    EXPECT_FLOAT_EQ(view.barHeights[3], kTallestBar);
    EXPECT_FLOAT_EQ(view.barHeights[1], kEmptyDayBar);  // far below the stub, so the stub shows
    EXPECT_EQ(view.totalText, "4294967297 снимков");
}

TEST(WeekPage, NegativeCountsCountAsNoShots) {
    WeekView view = weekView({-50, 0, 0, 0, 0, 0, 2}, weekKeys());
    EXPECT_FLOAT_EQ(view.barHeights[0], kEmptyDayBar);
    EXPECT_FLOAT_EQ(view.barHeights[6], kTallestBar);
    EXPECT_EQ(view.totalText, "2 снимков");
}

TEST(WeekPage, DayLabelsAreTheTwoDigitDayAndTodayIsLast) {
    WeekView view = weekView({}, {"2026-02-27", "2026-02-28", "2026-03-01", "2026-03-02", "2026-03-03",
                                  "2026-03-04", "2026-03-05"});
    EXPECT_EQ(view.dayLabels[0], "27");
    EXPECT_EQ(view.dayLabels[2], "01");
    EXPECT_EQ(view.dayLabels[6], "05");
}

TEST(WeekPage, ShortOrMissingKeysGiveEmptyLabels) {
    WeekView view = weekView({}, {"", "2026-03", "2026-03-0", "x", "", "", ""});
    EXPECT_EQ(view.dayLabels[0], "");
    EXPECT_EQ(view.dayLabels[1], "");
    EXPECT_EQ(view.dayLabels[2], "0");
    EXPECT_EQ(view.dayLabels[3], "");
}

TEST(NewsPage, NullEmptyArrayAndEmptyObjectAreEmpty) {
    for (const json& news : {json(), json::array(), json::object()}) {
        EXPECT_TRUE(newsView(news).empty) << news.dump();
    }
}

TEST(NewsPage, OnlyTheFirstItemIsShown) {
    json news = json::array({{{"title", "Первая"}, {"body", "Текст"}}, {{"title", "Вторая"}, {"body", "Другой"}}});
    NewsView view = newsView(news);
    EXPECT_FALSE(view.empty);
    EXPECT_EQ(view.title, "Первая");
    EXPECT_EQ(view.body, "Текст");
}

TEST(NewsPage, LongArrayStillShowsItsFirstItem) {
    json news = json::array();
    for (int item = 0; item < 5000; ++item) news.push_back({{"title", "Новость " + std::to_string(item)}});
    EXPECT_EQ(newsView(news).title, "Новость 0");
}

TEST(NewsPage, MissingOrNonTextMembersAreEmptyTexts) {
    NewsView noBody = newsView(json::array({{{"title", "Только заголовок"}}}));
    EXPECT_FALSE(noBody.empty);
    EXPECT_EQ(noBody.title, "Только заголовок");
    EXPECT_EQ(noBody.body, "");

    NewsView wrongTypes = newsView(json::array({{{"title", 5}, {"body", json::array({"x"})}}}));
    EXPECT_FALSE(wrongTypes.empty);
    EXPECT_EQ(wrongTypes.title, "");
    EXPECT_EQ(wrongTypes.body, "");
}

TEST(NewsPage, SingleObjectIsOneItem) {
    NewsView view = newsView(json{{"title", "Одна"}, {"body", "Новость"}});
    EXPECT_FALSE(view.empty);
    EXPECT_EQ(view.title, "Одна");
    EXPECT_EQ(view.body, "Новость");
}

TEST(NewsPage, OtherShapesShowTheEmptyState) {
    for (const json& news : {json("news"), json(3), json(false), json::array({"text", 1}), json::array({nullptr})}) {
        EXPECT_TRUE(newsView(news).empty) << news.dump();
    }
}

TEST(NewsPage, VeryLongTextsAreCutBeforeDrawing) {
    NewsView view = newsView(json::array({{{"title", std::string(10000, 'T')}, {"body", std::string(200000, 'a')}}}));
    EXPECT_EQ(view.title, std::string(kDisplayTextBytes, 'T'));
    EXPECT_EQ(view.body, std::string(kDisplayTextBytes, 'a'));
}

// Every byte sequence in the text is a whole UTF-8 character.
bool wholeUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || at + length > text.size()) return false;
        at += length;
    }
    return true;
}

TEST(DisplayText, ShortTextsStayWhole) {
    EXPECT_EQ(displayText(""), "");
    EXPECT_EQ(displayText("Новость"), "Новость");
    std::string exact(kDisplayTextBytes, 'x');
    EXPECT_EQ(displayText(exact), exact);
}

TEST(DisplayText, CutNeverSplitsACharacter) {
    // Two-, three- and four-byte characters, shifted so the cut lands on
    // every position inside one of them.
    for (const std::string character : {"ж", "↻", "\U0001F600"}) {
        for (std::size_t shift = 0; shift < 4; ++shift) {
            std::string text(shift, 'a');
            while (text.size() < 3 * kDisplayTextBytes) text += character;
            std::string cut = displayText(text);
            EXPECT_LE(cut.size(), kDisplayTextBytes);
            EXPECT_GT(cut.size(), kDisplayTextBytes - character.size());
            EXPECT_TRUE(wholeUtf8(cut)) << character << " shift " << shift;
            EXPECT_EQ(text.compare(0, cut.size(), cut), 0);
        }
    }
}

TEST(ProfilePage, HeadingIsTheUserNameWhenKnown) {
    EXPECT_EQ(profileHeading(json{{"username", "Анна"}}), "Анна");
    EXPECT_EQ(profileHeading(json::object()), "Привязка профиля");
    EXPECT_EQ(profileHeading(json{{"username", 12}}), "Привязка профиля");
    EXPECT_EQ(profileHeading(json()), "Привязка профиля");
    EXPECT_EQ(profileHeading(json::array({"username"})), "Привязка профиля");
    std::string longName;
    for (int letter = 0; letter < 3000; ++letter) longName += "Ё";
    std::string heading = profileHeading(json{{"username", longName}});
    EXPECT_EQ(heading, longName.substr(0, kDisplayTextBytes));  // two-byte letters cut at an even length
}

TEST(PageIndex, KeepsAnyNumberInsideThePages) {
    EXPECT_EQ(pageIndex(0), 0);
    EXPECT_EQ(pageIndex(4), 4);
    EXPECT_EQ(pageIndex(5), 4);
    EXPECT_EQ(pageIndex(-1), 0);
    EXPECT_EQ(pageIndex(INT_MIN), 0);
}

TEST(Transition, EaseOutCubic) {
    EXPECT_FLOAT_EQ(easedProgress(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(easedProgress(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(easedProgress(0.5f), 0.875f);
    EXPECT_NEAR(easedProgress(0.055f), 0.156, 0.001);
}

TEST(Transition, ProgressOutsideItsRangeIsClamped) {
    EXPECT_FLOAT_EQ(easedProgress(-3.0f), 0.0f);
    EXPECT_FLOAT_EQ(easedProgress(7.0f), 1.0f);
    EXPECT_FLOAT_EQ(easedProgress(std::nanf("")), 1.0f);
}

TEST(Transition, NewPageSlidesInFromTheSideItIsComingFrom) {
    EXPECT_FLOAT_EQ(pageOffset(0.0f, 1), 12.0f);
    EXPECT_FLOAT_EQ(pageOffset(0.0f, -1), -12.0f);
    EXPECT_NEAR(pageOffset(0.055f, 1), 10.13f, 0.01f);
    EXPECT_FLOAT_EQ(pageOffset(0.5f, -1), -1.5f);
    EXPECT_FLOAT_EQ(pageOffset(1.0f, 1), 0.0f);
}

}  // namespace
