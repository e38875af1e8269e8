#include "site/site_operations.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "site/site_api.h"

using nlohmann::json;

namespace {

bool isControlCharacter(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// An "https://" link without spaces or control characters. Letters beyond
// ASCII stay: a site may live under a Cyrillic domain name.
bool isShareableLink(const std::string& link) {
    constexpr std::string_view kScheme = "https://";
    return link.size() > kScheme.size() && link.starts_with(kScheme) &&
           std::none_of(link.begin(), link.end(), [](char c) { return c == ' ' || isControlCharacter(c); });
}

}  // namespace

json refreshWork(const SiteTransport& transport, const std::string& address, const std::string& token) {
    json answer = json::object();
    answer["news"] = transport(HttpCall{address, "", "GET", site_api::kNewsPath, "", false});
    if (!token.empty()) answer["me"] = transport(HttpCall{address, token, "GET", site_api::kProfilePath, "", false});
    return answer;
}

void completeRefresh(SiteHost& host, const json& answer) {
    host.news() = answer.at("news");
    if (answer.contains("me")) host.profile() = answer["me"];
    host.showStatus(host.linked() ? "Данные обновлены" : "Привяжите профиль для загрузки на сайт");
}

json linkWork(const SiteTransport& transport, const std::string& address, const std::string& code) {
    std::string body = site_api::linkRequestBody(code);
    return transport(HttpCall{address, "", "POST", site_api::kLinkPath, body, false});
}

void completeLink(SiteHost& host, const std::string& address, const json& answer) {
    // The token is read before anything changes: an answer without one
    // leaves the old address and link as they were.
    std::string token = answer.at(site_api::kTokenMember).get<std::string>();
    // An empty token would silently unlink the device; a control character
    // would end up inside the request headers.
    if (token.empty() || std::any_of(token.begin(), token.end(), isControlCharacter))
        throw std::runtime_error("Сайт не выдал ключ доступа");

    std::string previousAddress = host.siteAddress();
    host.setSiteAddress(address);  // before storing, so the save writes both
    bool saved = false;
    try {
        saved = host.storeToken(token);
    } catch (...) {
        host.setSiteAddress(previousAddress);
        throw;
    }
    host.profile() = json::object();
    // A failed save has put its own message on the status line; a refresh
    // would replace it within a second, so none is started.
    if (!saved) return;
    host.showStatus("Профиль привязан");
    host.requestRefresh();
}

void forgetLink(SiteHost& host) {
    bool saved = host.forgetToken();
    host.profile() = json::object();
    if (saved) host.showStatus("Приложение отвязано");
    host.rebuildControls();
}

bool pngFitsUploadLimit(std::size_t size) {
    return size <= kMaxPngBytes;
}

json uploadWork(const SiteTransport& transport, const std::string& address, const std::string& token,
                const std::string& png) {
    return transport(HttpCall{address, token, "POST", site_api::kShotsPath, png, true});
}

std::optional<int> raisedUploadCount(const json& used) {
    constexpr double kHighest = std::numeric_limits<int>::max() - 1;
    constexpr double kLowest = std::numeric_limits<int>::min();
    double value = 0;
    if (used.is_boolean()) {
        value = used.get<bool>() ? 1 : 0;
    } else if (used.is_number_unsigned()) {
        if (used.get<std::uint64_t>() > static_cast<std::uint64_t>(kHighest)) return std::nullopt;
        value = static_cast<double>(used.get<std::uint64_t>());
    } else if (used.is_number()) {
        value = std::trunc(used.get<double>());
    } else {
        return std::nullopt;
    }
    if (!(value >= kLowest && value <= kHighest)) return std::nullopt;
    return static_cast<int>(value) + 1;
}

namespace {

// A "used" member that is not a usable number is left alone: the upload
// itself has succeeded and must be reported so.
void countUpload(json& profile) {
    if (!profile.is_object() || !profile.contains(site_api::kUsedMember)) return;
    json& used = profile[site_api::kUsedMember];
    if (std::optional<int> raised = raisedUploadCount(used)) used = *raised;
}

}  // namespace

void completeUpload(SiteHost& host, const json& answer) {
    std::string link = answer.at(site_api::kUrlMember).get<std::string>();
    // Whatever lands on the clipboard and in the message box must be a link.
    if (!isShareableLink(link)) throw std::runtime_error("Сайт вернул некорректный ответ");
    bool copied = host.copyText(link);
    host.showStatus(copied ? "Ссылка скопирована • доступна 14 дней" : "Загружено: " + link);
    countUpload(host.profile());
    host.showMessage(link + "\n\n" +
                         (copied ? "Ссылка уже в буфере обмена."
                                 : "Не удалось скопировать ссылку. Повторите копирование вручную."),
                     "Снимок опубликован");
}
