#pragma once
// What the main window pages show, worked out from the profile, the news,
// the capture history and the page animation. Plain values, no drawing:
// texts are UTF-8 and the painter converts them. Nothing here throws on
// data of an unexpected shape; such data shows the defaults instead.

#include <array>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "app/command_ids.h"

inline constexpr float kQuotaBarWidth = 332.0f;
inline constexpr float kTallestBar = 110.0f;
inline constexpr float kEmptyDayBar = 4.0f;
inline constexpr float kPageSlide = 12.0f;
// Site texts longer than this many bytes are cut before drawing: no box of
// the pages shows more, and laying out a huge text on every frame is slow.
inline constexpr std::size_t kDisplayTextBytes = 1024;

// Plain decimal, "-" before negative numbers, no grouping.
std::string decimal(std::int64_t number);

// The text cut to at most kDisplayTextBytes, never inside a UTF-8 sequence.
std::string displayText(std::string text);

// A page number that can index the pages and their accent colours.
int pageIndex(int page);

// Page 0: today's uploads.
struct QuotaView {
    std::string badge;      // "PRO" or "FREE"
    std::string usedText;   // the count when linked, an em dash when not
    std::string limitText;  // "/ " and the limit
    bool showFill = false;
    float fillWidth = 0.0f;  // units, 0 to kQuotaBarWidth
    std::string caption;
};
QuotaView quotaView(const nlohmann::json& profile, bool linked);

// Page 1: one bar per day, oldest first, today last.
struct WeekView {
    std::array<float, 7> barHeights{};
    std::array<std::string, 7> dayLabels;  // two-digit day of the month
    std::string totalText;                 // "<sum> снимков"
};
// counts[i] and dayKeys[i] belong to day offset i - 6.
WeekView weekView(const std::array<int, 7>& counts, const std::array<std::string, 7>& dayKeys);

// Page 3: the newest news item, or nothing to show.
struct NewsView {
    bool empty = true;
    std::string title;
    std::string body;
};
NewsView newsView(const nlohmann::json& news);

// Page 4: the user's name once known, otherwise the form's own heading.
std::string profileHeading(const nlohmann::json& profile);

// The page transition: cubic ease-out of the raw progress (clamped to 0..1)
// and the horizontal offset in units of the page still on its way in.
float easedProgress(float progress);
float pageOffset(float progress, int direction);
