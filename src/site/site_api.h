#pragma once
// Every message exchanged with the site, and the members of its answers
// that the program reads.

#include <string>

#include <nlohmann/json.hpp>

namespace site_api {

// link: redeem a one-time code for an access token (no token sent)
inline constexpr char kLinkPath[] = "/api/link/redeem";
inline constexpr char kTokenMember[] = "token";
// The body: {"code": <the code as typed>}, compact, non-ASCII as raw UTF-8.
std::string linkRequestBody(const std::string& code);

// news: an array of {"title", "body"} objects (no token sent)
inline constexpr char kNewsPath[] = "/api/notifications";
inline constexpr char kNewsTitleMember[] = "title";
inline constexpr char kNewsBodyMember[] = "body";

// profile (bearer token)
inline constexpr char kProfilePath[] = "/api/me";
inline constexpr char kUsernameMember[] = "username";  // read only when present
inline constexpr char kProMember[] = "pro";            // default false
inline constexpr char kUsedMember[] = "used";          // default 0
inline constexpr char kLimitMember[] = "limit";        // default 30
inline constexpr bool kProDefault = false;
inline constexpr int kUsedDefault = 0;
inline constexpr int kLimitDefault = 30;

// upload: the raw PNG bytes (bearer token, content type image/png)
inline constexpr char kShotsPath[] = "/api/shots";
inline constexpr char kUrlMember[] = "url";

// The account page in the browser: the site address followed by this.
inline constexpr char kAccountPagePath[] = "/account";

}  // namespace site_api
