#pragma once
// The site's HTML: escaping, the shared page frame in the program's dark
// look, and the small pages for errors.

#include <string>
#include <string_view>

#include "http/response.h"

namespace site {

std::string escapeHtml(std::string_view text);

std::string htmlPage(std::string_view title, std::string_view content);

// A page with one heading and one sentence, never cached.
SiteResponse messagePage(int status, const char* heading, const char* sentence);

// The headers every HTML answer carries.
SiteResponse htmlResponse(int status, std::string body);

}  // namespace site
