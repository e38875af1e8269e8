// The four messages the desktop program sends.

#include <nlohmann/json.hpp>

#include "security/link_code.h"
#include "security/secrets.h"
#include "web/messages.h"
#include "web/quota.h"
#include "web/site.h"
#include "web/upload/png_check.h"
#include "web/upload/shot_upload.h"

namespace site {
namespace {

using nlohmann::json;

std::string dumpJson(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// "Bearer <token>", the scheme in any case; the token as sent, or empty.
std::string bearerToken(const std::string& authorization) {
    constexpr std::string_view scheme = "bearer ";
    if (authorization.size() <= scheme.size() || lowerCase(authorization.substr(0, scheme.size())) != scheme) return {};
    std::string token = authorization.substr(scheme.size());
    while (token.starts_with(' ')) token.erase(0, 1);
    while (token.ends_with(' ')) token.pop_back();
    return token;
}

bool isPngContentType(const std::string& contentType) {
    std::string mediaType = lowerCase(contentType.substr(0, contentType.find(';')));
    while (mediaType.ends_with(' ')) mediaType.pop_back();
    return mediaType == "image/png";
}

}  // namespace

SiteResponse Site::redeemLinkCode(const SiteRequest& request) {
    const std::int64_t now = clock_();
    if (!redeemAttempts_->allow(request.remoteAddress, now)) return jsonError(429, messages::kTooManyAttempts);
    const json body = json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.contains("code") || !body["code"].is_string())
        return jsonError(400, messages::kBadLinkRequest);
    const auto code = normalizeLinkCode(body["code"].get<std::string>());
    if (!code) return jsonError(400, messages::kBadLinkCode);
    const std::string token = newSecret();
    if (!store_.redeemLinkCode(sha256Hex(*code), sha256Hex(token), now)) return jsonError(400, messages::kBadLinkCode);
    counters_.linkCodesRedeemed.add();
    return jsonResponse(200, dumpJson({{"token", token}}));
}

SiteResponse Site::notifications(const SiteRequest&) {
    json items = json::array();
    for (const NewsItem& item : store_.latestNews(kNewsShown)) items.push_back({{"title", item.title}, {"body", item.body}});
    return jsonResponse(200, dumpJson(items));
}

std::optional<TokenUser> Site::bearerUser(const SiteRequest& request, SiteResponse& refusal, TokenLookup lookup) {
    const std::string token = bearerToken(request.header("authorization"));
    if (token.empty()) {
        refusal = jsonError(401, messages::kNoToken);
        return std::nullopt;
    }
    const std::int64_t now = clock_();
    auto found = looksLikeSecret(token) ? (store_.*lookup)(sha256Hex(token), now, utcDay(now)) : std::nullopt;
    if (!found) refusal = jsonError(401, messages::kBadToken);
    return found;
}

SiteResponse Site::profile(const SiteRequest& request) {
    return profileBy(request, &Store::userByToken);
}

SiteResponse Site::profileAtOnce(const SiteRequest& request) {
    return profileBy(request, &Store::userByTokenAtOnce);
}

SiteResponse Site::profileBy(const SiteRequest& request, TokenLookup lookup) {
    SiteResponse refusal;
    const auto found = bearerUser(request, refusal, lookup);
    if (!found) return refusal;
    const User& user = found->user;
    return jsonResponse(200, dumpJson({{"username", user.name},
                                       {"pro", user.pro},
                                       {"used", found->uploads},
                                       {"limit", dailyLimit(user.pro)}}));
}

// The device behind an upload, when the token, the declared length, the
// type and the day's count allow it; all of it known before the body.
std::optional<User> Site::uploader(const SiteRequest& request, SiteResponse& refusal) {
    const auto found = bearerUser(request, refusal);
    if (!found) return std::nullopt;
    if (request.bodyTooLarge || request.declaredLength() > kMaxShotBytes || request.body.size() > kMaxShotBytes)
        refusal = jsonError(413, messages::kShotTooLarge);
    else if (!isPngContentType(request.header("content-type")))
        refusal = jsonError(415, messages::kNotPng);
    else if (found->uploads >= dailyLimit(found->user.pro))
        refusal = jsonError(429, messages::kDailyLimit);
    else
        return found->user;
    return std::nullopt;
}

SiteResponse Site::uploadShot(const SiteRequest& request) {
    SiteResponse refusal;
    const auto user = uploader(request, refusal);
    if (!user) return refusal;
    // Every body this site admits streams into a ShotUpload.
    auto upload = std::dynamic_pointer_cast<ShotUpload>(request.bodySink);
    if (!upload) {
        upload = std::make_shared<ShotUpload>(files_.receive());
        upload->append(request.body);
    }
    if (upload->tooLarge()) return jsonError(413, messages::kShotTooLarge);
    if (upload->pngProblem() != PngProblem::None) return jsonError(415, messages::kNotPng);

    const std::int64_t now = clock_();
    const std::int64_t day = utcDay(now);
    const Shot shot{newShotId(), user->id, now, now + kShotLifetimeSeconds, static_cast<std::int64_t>(upload->size())};
    // The file is whole and durable before its row exists, so a crash never
    // leaves a row without its file; the row's insert is what makes the
    // day's limit exact.
    upload->keep(shot.id);
    bool added = false;
    try {
        added = store_.addShotWithinLimit(shot, day, dailyLimit(user->pro));
    } catch (...) {
        files_.remove(shot.id);
        throw;
    }
    if (!added) {
        files_.remove(shot.id);
        return jsonError(429, messages::kDailyLimit);
    }
    return jsonResponse(200, dumpJson({{"url", publicUrl_ + "/s/" + shot.id}}));
}

}  // namespace site
