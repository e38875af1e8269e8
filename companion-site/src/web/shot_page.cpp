// Public links of uploaded shots.

#include <algorithm>

#include "security/secrets.h"
#include "web/messages.h"
#include "web/pages/html.h"
#include "web/site.h"

namespace site {
namespace {

// Browsers may keep a copy for a short while, never past the expiry.
constexpr std::int64_t kMaxCacheSeconds = 300;

}  // namespace

SiteResponse Site::serveShot(const SiteRequest& request) {
    const std::string id = request.path.substr(sizeof kShotPrefix - 1);
    const auto gone = [] { return messagePage(404, messages::kShotNotFound, "Ссылка неверна или снимок удалён."); };
    if (!isShotId(id)) return gone();
    const auto shot = store_.shot(id);
    if (!shot) return gone();
    const std::int64_t now = clock_();
    if (shot->expiresAt <= now)
        return messagePage(410, messages::kShotExpired, "Снимки хранятся 14 дней, этот уже удалён.");
    std::shared_ptr<ByteSource> file = files_.open(id);
    if (!file) return gone();
    SiteResponse response{200, "image/png", "", {}, std::move(file)};
    const std::int64_t cacheSeconds = std::min(kMaxCacheSeconds, shot->expiresAt - now);
    response.with("X-Content-Type-Options", "nosniff")
        .with("Cache-Control", "private, max-age=" + std::to_string(cacheSeconds))
        .with("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; sandbox")
        .with("Content-Disposition", "inline; filename=\"clipvane-" + id.substr(0, 8) + ".png\"");
    return response;
}

}  // namespace site
