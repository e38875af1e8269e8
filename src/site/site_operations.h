#pragma once
// The site operations as pairs of a work function (worker thread, copies
// only) and a completion (user-interface thread, through SiteHost).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "site/http_exchange.h"
#include "site/site_host.h"

// Performs one exchange with the site (httpRequest in the program).
using SiteTransport = std::function<nlohmann::json(const HttpCall&)>;

// News always, without the token; the profile after it, only when linked.
// The answer carries "news" and, when requested, "me".
nlohmann::json refreshWork(const SiteTransport& transport, const std::string& address, const std::string& token);
void completeRefresh(SiteHost& host, const nlohmann::json& answer);

nlohmann::json linkWork(const SiteTransport& transport, const std::string& address, const std::string& code);
// The address becomes the site address only together with a usable token.
void completeLink(SiteHost& host, const std::string& address, const nlohmann::json& answer);

// The unlink command itself: nothing is sent to the site.
void forgetLink(SiteHost& host);

// The largest PNG the site takes.
inline constexpr std::size_t kMaxPngBytes = 12582912;
bool pngFitsUploadLimit(std::size_t size);

nlohmann::json uploadWork(const SiteTransport& transport, const std::string& address, const std::string& token,
                          const std::string& png);
void completeUpload(SiteHost& host, const nlohmann::json& answer);

// Today's upload count after one more upload, from the profile's "used"
// value; nothing when that value is not a number that fits.
std::optional<int> raisedUploadCount(const nlohmann::json& used);
