#pragma once
// Form bodies (application/x-www-form-urlencoded) and the Cookie header.

#include <map>
#include <string>
#include <string_view>

namespace site {

// Later repeats of a name are ignored. Malformed escapes are kept as typed.
std::map<std::string, std::string> parseForm(std::string_view body);

std::map<std::string, std::string> parseCookies(std::string_view header);

std::string percentDecode(std::string_view text);

}  // namespace site
