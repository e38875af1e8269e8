#include <gtest/gtest.h>

#include <climits>

#include "app/page_model.h"

using nlohmann::json;

namespace {

const std::string kUnlinked = "Привяжите аккаунт на вкладке «Профиль».";

std::string left(const char* count) { return std::string("Ещё ") + count + " загрузок • сброс в 00:00 UTC"; }

TEST(QuotaPage, EveryProfileShapeGivesItsTexts) {
    struct Row { json profile; bool linked; const char *badge, *used, *limit; float fill; std::string caption; };  // fill 0: no bar
    const Row rows[] = {
        {json::object(), false, "FREE", "—", "/ 30", 0, kUnlinked},
        {{{"used", 7}, {"limit", 30}}, true, "FREE", "7", "/ 30", 7.0f / 30 * kQuotaBarWidth, left("23")},
        {{{"used", 35}, {"limit", 30}}, true, "FREE", "35", "/ 30", kQuotaBarWidth, left("0")},
        {{{"used", 0}, {"limit", 0}}, true, "FREE", "0", "/ 0", 0, left("0")},  // no NaN width
        {{{"used", -5}, {"limit", 30}}, true, "FREE", "-5", "/ 30", 0, left("35")},
        {{{"used", "7"}, {"limit", json::array({1})}, {"pro", "true"}}, true, "FREE", "0", "/ 30", 0, left("30")},
        {{{"used", 7.9}, {"limit", -2.5}, {"pro", 1}}, true, "FREE", "7", "/ -2", 0, left("0")},
        {{{"used", INT64_MIN}, {"limit", INT64_MAX}}, true, "FREE", "-4611686018427387903", "/ 4611686018427387903",
         0, left("9223372036854775806")},
        {json::parse(R"({"used": 18446744073709551615, "limit": 1e300})"), true, "FREE", "4611686018427387903",
         "/ 4611686018427387903", kQuotaBarWidth, left("0")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.profile.dump());
        QuotaView view = quotaView(row.profile, row.linked);
        EXPECT_EQ(view.badge, row.badge);
        EXPECT_EQ(view.usedText, row.used);
        EXPECT_EQ(view.limitText, row.limit);
        EXPECT_NEAR(view.fillWidth, row.fill, 0.001f);
        EXPECT_EQ(view.showFill, row.fill > 0);
        EXPECT_EQ(view.caption, row.caption);
    }
}

TEST(WeekPage, BarsScaleToTheBusiestDayAndEmptyDaysKeepAStub) {
    const std::array<std::string, 7> keys = {"2026-02-27", "2026-02-28", "2026-03-01", "", "2026-03", "2026-03-0",
                                             "2026-03-05"};
    struct Row { std::array<int, 7> counts; std::array<float, 7> heights; const char* total; };
    const Row rows[] = {
        {{0, 0, 0, 0, 0, 0, 0}, {4, 4, 4, 4, 4, 4, 4}, "0 снимков"},
        {{0, 0, 5, 10, 0, 0, 1}, {4, 4, 55, 110, 4, 4, 11}, "16 снимков"},
        {{-50, 0, 0, 0, 0, 0, 2}, {4, 4, 4, 4, 4, 4, 110}, "2 снимков"},
        {{INT_MAX, 1, 0, INT_MAX, 0, 0, 2}, {110, 4, 4, 110, 4, 4, 4}, "4294967297 снимков"},
    };
    for (const Row& row : rows) {
        WeekView view = weekView(row.counts, keys);
        for (int day = 0; day < 7; ++day) EXPECT_NEAR(view.barHeights[day], row.heights[day], 0.001f) << day;
        EXPECT_EQ(view.totalText, row.total);
    }
    const std::array<std::string, 7> labels = {"27", "28", "01", "", "", "0", "05"};
    EXPECT_EQ(weekView({}, keys).dayLabels, labels);
}

TEST(NewsPage, TheFirstItemOrTheEmptyState) {
    // news, empty, title, body
    const std::tuple<json, bool, const char*, const char*> rows[] = {
        {json(), true, "", ""},
        {json("news"), true, "", ""},
        {json::array({"text", 1}), true, "", ""},
        {json::array({{{"title", "Первая"}, {"body", "Текст"}}, {{"title", "Вторая"}}}), false, "Первая", "Текст"},
        {json::array({{{"title", 5}, {"body", json::array({"x"})}}}), false, "", ""},
        {json{{"title", "Одна"}, {"body", "Новость"}}, false, "Одна", "Новость"},
    };
    for (const auto& [news, empty, title, body] : rows) {
        NewsView view = newsView(news);
        EXPECT_EQ(view.empty, empty) << news.dump();
        EXPECT_EQ(view.title, title) << news.dump();
        EXPECT_EQ(view.body, body) << news.dump();
    }
    NewsView huge = newsView(json::array({{{"title", std::string(10000, 'T')}, {"body", std::string(200000, 'a')}}}));
    EXPECT_EQ(huge.title, std::string(kDisplayTextBytes, 'T'));
    EXPECT_EQ(huge.body, std::string(kDisplayTextBytes, 'a'));
}

TEST(DisplayText, LongTextsAreCutBetweenCharacters) {
    std::string exact(kDisplayTextBytes, 'x');
    EXPECT_EQ(displayText(exact), exact);
    // Two-, three- and four-byte characters, shifted so the cut lands on
    // every byte inside one of them.
    for (const std::string character : {"ж", "↻", "\U0001F600"}) {
        for (std::size_t shift = 0; shift < 4; ++shift) {
            std::string text(shift, 'a');
            while (text.size() < 3 * kDisplayTextBytes) text += character;
            std::string cut = displayText(text);
            std::size_t whole = (kDisplayTextBytes - shift) / character.size() * character.size() + shift;
            EXPECT_EQ(cut, text.substr(0, whole)) << character << " shift " << shift;
        }
    }
}

TEST(ProfilePage, HeadingIsTheUserNameOnlyWhenItIsText) {
    EXPECT_EQ(profileHeading(json{{"username", "Анна"}}), "Анна");
    for (const json& profile : {json::object(), json{{"username", 12}}, json::array({"username"})}) {
        EXPECT_EQ(profileHeading(profile), "Привязка профиля") << profile.dump();
    }
}

TEST(PageIndex, KeepsAnyNumberInsideThePages) {
    const std::pair<int, int> rows[] = {{0, 0}, {4, 4}, {5, 4}, {-1, 0}, {INT_MIN, 0}};
    for (auto [page, index] : rows) EXPECT_EQ(pageIndex(page), index) << page;
}

}  // namespace
