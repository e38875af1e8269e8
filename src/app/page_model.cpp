#include "app/page_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

// Profile numbers are kept within half the 64-bit range, so that the
// difference of two of them never overflows.
constexpr std::int64_t kLargestCount = std::numeric_limits<std::int64_t>::max() / 2;

std::int64_t clampCount(double number) {
    if (number >= static_cast<double>(kLargestCount)) return kLargestCount;
    if (number <= static_cast<double>(-kLargestCount)) return -kLargestCount;
    return static_cast<std::int64_t>(number);  // toward zero
}

// An integer member; anything but a number (absent, text, boolean, ...)
// gives the fallback, a fraction is cut toward zero.
std::int64_t integerMember(const json& object, const char* key, std::int64_t fallback) {
    auto member = object.find(key);
    if (member == object.end()) return fallback;
    if (member->is_number_unsigned()) {
        auto number = member->get<std::uint64_t>();
        return number > static_cast<std::uint64_t>(kLargestCount) ? kLargestCount
                                                                   : static_cast<std::int64_t>(number);
    }
    if (member->is_number_integer()) return std::clamp(member->get<std::int64_t>(), -kLargestCount, kLargestCount);
    if (member->is_number_float()) return clampCount(member->get<double>());
    return fallback;
}

bool isTrue(const json& object, const char* key) {
    auto member = object.find(key);
    return member != object.end() && member->is_boolean() && member->get<bool>();
}

std::string textMember(const json& object, const char* key) {
    auto member = object.find(key);
    if (member == object.end() || !member->is_string()) return {};
    return displayText(member->get<std::string>());
}

float quotaFillWidth(std::int64_t used, std::int64_t limit) {
    double ratio = static_cast<double>(used) / static_cast<double>(limit);  // limit 0 gives ±infinity
    if (std::isnan(ratio)) return 0.0f;
    return static_cast<float>(std::clamp(ratio, 0.0, 1.0) * kQuotaBarWidth);
}

}  // namespace

std::string decimal(std::int64_t number) {
    return std::to_string(number);
}

std::string displayText(std::string text) {
    if (text.size() <= kDisplayTextBytes) return text;
    std::size_t end = kDisplayTextBytes;
    auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
    while (end > 0 && continues(end)) --end;
    text.resize(end);
    return text;
}

int pageIndex(int page) {
    return std::clamp(page, 0, PAGE_COUNT - 1);
}

QuotaView quotaView(const json& profile, bool linked) {
    std::int64_t used = integerMember(profile, "used", 0);
    std::int64_t limit = integerMember(profile, "limit", 30);

    QuotaView view;
    view.badge = isTrue(profile, "pro") ? "PRO" : "FREE";
    view.usedText = linked ? decimal(used) : "—";
    view.limitText = "/ " + decimal(limit);
    view.fillWidth = used == 0 ? 0.0f : quotaFillWidth(used, limit);
    view.showFill = view.fillWidth > 0.0f;
    view.caption = linked ? "Ещё " + decimal(std::max<std::int64_t>(limit - used, 0)) + " загрузок • сброс в 00:00 UTC"
                          : "Привяжите аккаунт на вкладке «Профиль».";
    return view;
}

WeekView weekView(const std::array<int, 7>& counts, const std::array<std::string, 7>& dayKeys) {
    // A negative count can only come from a damaged settings file; it is
    // no shot at all.
    std::array<int, 7> shots{};
    std::transform(counts.begin(), counts.end(), shots.begin(), [](int count) { return std::max(count, 0); });
    int peak = std::max(*std::max_element(shots.begin(), shots.end()), 1);

    WeekView view;
    std::int64_t sum = 0;
    for (std::size_t day = 0; day < shots.size(); ++day) {
        double height = static_cast<double>(shots[day]) * kTallestBar / peak;
        view.barHeights[day] = static_cast<float>(std::max(height, static_cast<double>(kEmptyDayBar)));
        view.dayLabels[day] = dayKeys[day].size() > 8 ? dayKeys[day].substr(8) : std::string();
        sum += shots[day];
    }
    view.totalText = decimal(sum) + " снимков";
    return view;
}

NewsView newsView(const json& news) {
    // A single object with members is taken as one item; other values, or
    // a first element that is no object, show the empty state.
    const json* item = nullptr;
    if (news.is_array() && !news.empty()) item = &news.front();
    if (news.is_object() && !news.empty()) item = &news;

    NewsView view;
    if (!item || !item->is_object()) return view;
    view.empty = false;
    view.title = textMember(*item, "title");
    view.body = textMember(*item, "body");
    return view;
}

std::string profileHeading(const json& profile) {
    auto name = profile.find("username");
    if (name != profile.end() && name->is_string()) return displayText(name->get<std::string>());
    return "Привязка профиля";
}

float easedProgress(float progress) {
    if (std::isnan(progress)) return 1.0f;
    float remaining = 1.0f - std::clamp(progress, 0.0f, 1.0f);
    return 1.0f - remaining * remaining * remaining;
}

float pageOffset(float progress, int direction) {
    return (1.0f - easedProgress(progress)) * static_cast<float>(direction) * kPageSlide;
}
