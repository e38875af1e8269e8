#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "storage/capture_log.h"

using nlohmann::json;
using namespace std::chrono;

// In a zone with summer time, where a calendar day is not always 24 hours.
TEST(DayKey, LocalCalendarDaysAcrossMonthYearLeapDayAndClockChanges) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(dayKeyAt(sys_days{2026y / 12 / 31} + 12h, 1), "2027-01-01");
    EXPECT_EQ(dayKeyAt(sys_days{2024y / 3 / 1} + 6h, -1), "2024-02-29");
    EXPECT_EQ(dayKeyAt(sys_days{2026y / 6 / 10} + 23h + 30min, 0), "2026-06-11");  // already tomorrow in Berlin
    // Just after midnight following the spring change, 24 hours back lands
    // two calendar days ago.
    EXPECT_EQ(dayKeyAt(sys_days{2026y / 3 / 29} + 22h + 30min, -1), "2026-03-28");
}

TEST(CountOnDay, ReadsCountsAndTreatsAnythingElseAsZero) {
    json doc = {{"captures",
                 {{"a", 3}, {"b", "7"}, {"d", 2.9}, {"e", -2.9}, {"f", 1e20}, {"g", true},
                  {"i", 18446744073709551615ull}, {"j", -5000000000ll}}}};
    const std::pair<const char*, int> rows[] = {{"a", 3},  {"b", 0},       {"d", 2},       {"e", -2}, {"f", INT_MAX},
                                                {"g", 1},  {"i", INT_MAX}, {"j", INT_MIN}, {"missing", 0}};
    for (auto [key, count] : rows) EXPECT_EQ(countOnDayIn(doc, key), count) << key;
    EXPECT_EQ(countOnDayIn(json{{"captures", "x"}}, "a"), 0);
}

TEST(RecordCapture, CountsPerDayReplacesDamageAndPrunesOnlyBeforeTheCutoff) {
    json doc = {{"captures", json::array({1, 2})}, {"other", 1}};
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc, json::parse(R"({"captures": {"2026-03-05": 1}, "other": 1})"));
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"]["2026-03-05"], 2);
    doc["captures"]["2026-03-05"] = INT_MAX;
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"]["2026-03-05"], INT_MAX);

    doc["captures"] = {{"2026-01-03", 9}, {"2026-01-04", 8}, {"2027-01-01", 4}, {"2000", 1}, {"zzz", 5}};
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"], json::parse(R"({"2026-01-04": 8, "2026-03-05": 1, "2027-01-01": 4, "zzz": 5})"));
}
