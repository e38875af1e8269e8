#include "storage/capture_log.h"

#include <climits>
#include <cmath>
#include <ctime>

using nlohmann::json;

namespace {

std::tm localCalendar(std::time_t seconds) {
    std::tm calendar{};
#ifdef _WIN32
    localtime_s(&calendar, &seconds);
#else
    localtime_r(&seconds, &calendar);
#endif
    return calendar;
}

// Counts are 32-bit; stored values outside that range are clamped rather
// than wrapped, and fractions are cut toward zero.
int countValue(const json& value) {
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (std::isnan(number)) return 0;
        if (number >= static_cast<double>(INT_MAX)) return INT_MAX;
        if (number <= static_cast<double>(INT_MIN)) return INT_MIN;
        return static_cast<int>(number);
    }
    if (value.is_number_unsigned()) {
        auto number = value.get<std::uint64_t>();
        return number > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(number);
    }
    if (value.is_number_integer()) {
        auto number = value.get<std::int64_t>();
        if (number > INT_MAX) return INT_MAX;
        if (number < INT_MIN) return INT_MIN;
        return static_cast<int>(number);
    }
    return value.get<int>();  // booleans count as 0 or 1; other types throw
}

}  // namespace

std::string dayKeyAt(std::chrono::system_clock::time_point now, int offset) {
    auto moved = now + std::chrono::hours(24) * offset;
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(moved.time_since_epoch()).count();
    std::tm calendar = localCalendar(static_cast<std::time_t>(seconds));
    char text[12] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d", &calendar);
    return text;
}

int countOnDayIn(const json& settingsDoc, const std::string& key) {
    try {
        auto captures = settingsDoc.find("captures");
        if (captures == settingsDoc.end() || !captures->is_object()) return 0;
        auto day = captures->find(key);
        return day == captures->end() ? 0 : countValue(*day);
    } catch (const std::exception&) {
        return 0;
    }
}

void recordCaptureIn(json& settingsDoc, const std::string& today, const std::string& cutoff) {
    if (!settingsDoc.contains("captures") || !settingsDoc["captures"].is_object()) {
        settingsDoc["captures"] = json::object();
    }
    int count = countOnDayIn(settingsDoc, today);
    json& captures = settingsDoc["captures"];
    captures[today] = count == INT_MAX ? count : count + 1;
    for (auto day = captures.begin(); day != captures.end();) {
        day = day.key() < cutoff ? captures.erase(day) : std::next(day);
    }
}
