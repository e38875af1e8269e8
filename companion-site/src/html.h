#pragma once
// The site's HTML: escaping, the shared page frame in the program's dark
// look, and the small pages for errors.

#include <cstdint>
#include <string>
#include <string_view>

#include "http_types.h"

namespace site {

std::string escapeHtml(std::string_view text);

// "31.12.2025 23:59 UTC" by default; `format` as strftime takes it.
std::string formatUtcTime(std::int64_t unixSeconds, const char* format = "%d.%m.%Y %H:%M UTC");

std::string htmlPage(std::string_view title, std::string_view content);

// A page with one heading and one sentence, never cached.
SiteResponse messagePage(int status, const char* heading, const char* sentence);

// The headers every HTML answer carries.
SiteResponse htmlResponse(int status, std::string body);

}  // namespace site
