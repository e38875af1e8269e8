#pragma once
// A time in UTC as people read it.

#include <cstdint>
#include <string>

namespace site {

// "31.12.2025 23:59 UTC" by default; `format` as strftime takes it.
std::string formatUtcTime(std::int64_t unixSeconds, const char* format = "%d.%m.%Y %H:%M UTC");

}  // namespace site
