#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "storage/capture_log.h"

using nlohmann::json;
using std::chrono::system_clock;

namespace {

// Runs a test in a chosen time zone and restores the previous one.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (previous_.empty()) unsetenv("TZ");
        else setenv("TZ", previous_.c_str(), 1);
        tzset();
    }

private:
    std::string previous_;
};

system_clock::time_point utc(int year, int month, int day, int hour, int minute) {
    std::tm calendar{};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    return system_clock::from_time_t(timegm(&calendar));
}

TEST(DayKey, LocalCalendarDaysAcrossMonthYearLeapDayAndClockChanges) {
    {
        TimeZone zone("UTC");
        EXPECT_EQ(dayKeyAt(utc(2026, 12, 31, 12, 0), 1), "2027-01-01");
        EXPECT_EQ(dayKeyAt(utc(2027, 1, 1, 0, 0), -1), "2026-12-31");
        EXPECT_EQ(dayKeyAt(utc(2024, 3, 1, 6, 0), -1), "2024-02-29");
        EXPECT_EQ(dayKeyAt(utc(2026, 3, 5, 6, 0), -60), "2026-01-04");
    }
    TimeZone zone("Europe/Berlin");
    EXPECT_EQ(dayKeyAt(utc(2026, 6, 10, 23, 30), 0), "2026-06-11");  // already tomorrow in Berlin
    // Just after midnight following the spring change, 24 hours back lands
    // two calendar days ago.
    EXPECT_EQ(dayKeyAt(utc(2026, 3, 29, 22, 30), -1), "2026-03-28");
}

TEST(CountOnDay, ReadsCountsAndTreatsAnythingElseAsZero) {
    json doc = {{"captures",
                 {{"a", 3}, {"b", "7"}, {"c", nullptr}, {"d", 2.9}, {"e", -2.9}, {"f", 1e20}, {"g", true},
                  {"h", json::array({1})}, {"i", 18446744073709551615ull}, {"j", -5000000000ll}}}};
    const std::pair<const char*, int> rows[] = {{"a", 3},       {"b", 0}, {"c", 0},       {"d", 2},
                                                {"e", -2},      {"f", INT_MAX}, {"g", 1}, {"h", 0},
                                                {"i", INT_MAX}, {"j", INT_MIN}, {"missing", 0}};
    for (auto [key, count] : rows) EXPECT_EQ(countOnDayIn(doc, key), count) << key;
    EXPECT_EQ(countOnDayIn(json::object(), "a"), 0);
    EXPECT_EQ(countOnDayIn(json{{"captures", "x"}}, "a"), 0);
}

TEST(RecordCapture, CountsPerDayReplacesDamageAndPrunesOnlyBeforeTheCutoff) {
    json doc = {{"captures", json::array({1, 2})}, {"other", 1}};
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc, json::parse(R"({"captures": {"2026-03-05": 1}, "other": 1})"));
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"]["2026-03-05"], 2);
    doc["captures"]["2026-03-05"] = "many";
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"]["2026-03-05"], 1);
    doc["captures"]["2026-03-05"] = INT_MAX;
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"]["2026-03-05"], INT_MAX);

    doc["captures"] = {{"2026-01-03", 9}, {"2026-01-04", 8}, {"2027-01-01", 4}, {"2000", 1}, {"2026-01-03x", 2},
                       {"zzz", 5}};
    recordCaptureIn(doc, "2026-03-05", "2026-01-04");
    EXPECT_EQ(doc["captures"], json::parse(R"({"2026-01-04": 8, "2026-03-05": 1, "2027-01-01": 4, "zzz": 5})"));
}

}  // namespace
