#pragma once
// The capture history: the "captures" member of the settings document maps a
// local date "%Y-%m-%d" to the number of shots taken that day.

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

// The local date of `now` moved by whole 24-hour periods (not calendar days).
std::string dayKeyAt(std::chrono::system_clock::time_point now, int offset);

// The count stored for a day; 0 when there is none or it is not a number.
int countOnDayIn(const nlohmann::json& settingsDoc, const std::string& key);

// Adds one shot to `today` and removes every day that sorts before `cutoff`.
void recordCaptureIn(nlohmann::json& settingsDoc, const std::string& today, const std::string& cutoff);
