#include "web/pages/account_view.h"

#include <algorithm>

#include "base/utc_time.h"
#include "web/messages.h"
#include "web/pages/html.h"

namespace site {
namespace {

std::string hiddenField(const char* name, const std::string& value) {
    return "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" + escapeHtml(value) + "\">";
}

// A one-button form that posts `name`=`value` with the form token.
std::string actionButton(const char* action, const char* name, const std::string& value, const std::string& formToken,
                         const char* label) {
    return "<form class=\"inline\" method=\"post\" action=\"" + std::string(action) + "\">" +
           hiddenField("form", formToken) + hiddenField(name, value) + "<button class=\"quiet\" type=\"submit\">" +
           label + "</button></form>";
}

std::string sizeText(std::int64_t bytes) {
    if (bytes < 1024 * 1024) return std::to_string(std::max<std::int64_t>(1, bytes / 1024)) + " КБ";
    const std::int64_t tenths = bytes * 10 / (1024 * 1024);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " МБ";
}

std::string headerSection(const AccountView& view) {
    return "<div class=\"head\"><div><h1>Личный кабинет</h1><p class=\"muted\">" + escapeHtml(view.userName) +
           (view.pro ? "<span class=\"badge pro\">PRO</span>" : "<span class=\"badge\">FREE</span>") +
           "</p></div><form method=\"post\" action=\"/account/sign-out\">" + hiddenField("form", view.formToken) +
           "<button class=\"quiet\" type=\"submit\">Выйти</button></form></div>";
}

std::string linkSection(const AccountView& view) {
    const std::string ask = "<form method=\"post\" action=\"/account/link-code\">" + hiddenField("form", view.formToken) +
                            "<button type=\"submit\">" + (view.linkCode.empty() ? "Получить код" : "Новый код") +
                            "</button></form>";
    const std::string where = "В Clipvane откройте страницу «Профиль», введите адрес сайта <b>" +
                              escapeHtml(view.siteAddress) + "</b> и код, затем нажмите «Привязать».";
    if (view.linkCode.empty())
        return "<section class=\"box\"><h2>Код привязки</h2><p>" + where + "</p>" + ask + "</section>";
    return "<section class=\"box\"><h2>Код привязки</h2><div class=\"code\">" + escapeHtml(view.linkCode) + "</div><p>" +
           where + "</p><p class=\"muted\">Код действует один раз, до " + formatUtcTime(view.linkCodeExpiresAt) +
           ". Новый код заменяет прежний.</p>" + ask + "</section>";
}

std::string quotaSection(const AccountView& view) {
    const int percent = view.limit > 0 ? std::clamp(view.used * 100 / view.limit, 0, 100) : 100;
    return "<section class=\"box\"><h2>Загрузки сегодня</h2><p>" + std::to_string(view.used) + " из " +
           std::to_string(view.limit) + "</p><div class=\"bar\"><span style=\"width:" + std::to_string(percent) +
           "%\"></span></div><p class=\"muted\" style=\"margin-top:10px\">День считается по UTC, лимит обновится в "
           "00:00 UTC.</p></section>";
}

std::string shotsSection(const AccountView& view) {
    std::string html = "<section class=\"box\"><h2>Снимки</h2>";
    if (view.shots.empty()) return html + "<p class=\"muted\">Загруженных снимков пока нет.</p></section>";
    html += "<ul class=\"rows\">";
    for (const Shot& shot : view.shots) {
        const std::string url = view.siteAddress + "/s/" + shot.id;
        html += "<li><div class=\"what\"><a href=\"" + escapeHtml(url) + "\">" + escapeHtml(url) +
                "</a><br><span class=\"muted\">" + sizeText(shot.size) + " • доступен до " +
                formatUtcTime(shot.expiresAt) + "</span></div>" +
                actionButton("/account/shots/delete", "shot", shot.id, view.formToken, "Удалить") + "</li>";
    }
    return html + "</ul></section>";
}

std::string devicesSection(const AccountView& view) {
    std::string html = "<section class=\"box\"><h2>Привязанные устройства</h2>";
    if (view.devices.empty()) return html + "<p class=\"muted\">Ни одно устройство не привязано.</p></section>";
    html += "<ul class=\"rows\">";
    for (const Device& device : view.devices) {
        html += "<li><div class=\"what\">Устройство №" + std::to_string(device.id) + "<br><span class=\"muted\">привязано " +
                formatUtcTime(device.linkedAt) + " • активно " + formatUtcTime(device.lastSeenAt) + "</span></div>" +
                actionButton("/account/devices/revoke", "device", std::to_string(device.id), view.formToken,
                             "Отвязать") +
                "</li>";
    }
    return html + "</ul></section>";
}

std::string passwordField(const char* name, const char* label, const char* autocomplete) {
    return "<label for=\"" + std::string(name) + "\">" + label + "</label><input type=\"password\" id=\"" + name +
           "\" name=\"" + name + "\" autocomplete=\"" + autocomplete + "\" required>";
}

// The fragment brings the answer's message into view on a long page.
std::string passwordSection(const AccountView& view) {
    std::string html = "<section class=\"box\" id=\"password\"><h2>Сменить пароль</h2>"
                       "<form class=\"stack\" method=\"post\" action=\"/account/password#password\">" +
                       hiddenField("form", view.formToken) +
                       passwordField("current", "Текущий пароль", "current-password") +
                       passwordField("new", "Новый пароль", "new-password") +
                       passwordField("repeat", "Новый пароль ещё раз", "new-password");
    if (!view.passwordError.empty()) html += "<p class=\"error\">" + escapeHtml(view.passwordError) + "</p>";
    if (view.passwordChanged) html += "<p class=\"notice\">" + std::string(messages::kPasswordChanged) + "</p>";
    return html + "<button type=\"submit\">Сменить пароль</button></form></section>";
}

std::string sessionsSection(const AccountView& view) {
    return "<section class=\"box\"><h2>Вход в личный кабинет</h2><p class=\"muted\">Завершает вход во всех "
           "браузерах, и в этом тоже. Привязанные устройства продолжают загружать снимки: их отвязывают в списке "
           "выше.</p><form method=\"post\" action=\"/account/sign-out-everywhere\">" +
           hiddenField("form", view.formToken) +
           "<button class=\"quiet\" type=\"submit\">Выйти на всех устройствах</button></form></section>";
}

}  // namespace

std::string renderAccountPage(const AccountView& view) {
    return htmlPage("Личный кабинет", headerSection(view) + linkSection(view) + quotaSection(view) +
                                          shotsSection(view) + devicesSection(view) + passwordSection(view) +
                                          sessionsSection(view));
}

std::string renderSignInPage(const std::string& formToken, const std::string& error, const std::string& userName) {
    std::string content = "<div class=\"signin\"><div class=\"box\"><h1>Вход</h1><p class=\"muted\">Личный кабинет "
                          "Clipvane</p><form method=\"post\" action=\"/account/sign-in\">" +
                          hiddenField("form", formToken) +
                          "<label for=\"user\">Имя пользователя</label><input type=\"text\" id=\"user\" name=\"user\" "
                          "autocomplete=\"username\" required value=\"" +
                          escapeHtml(userName) +
                          "\"><label for=\"password\">Пароль</label><input type=\"password\" id=\"password\" "
                          "name=\"password\" autocomplete=\"current-password\" required>";
    if (!error.empty()) content += "<p class=\"error\">" + escapeHtml(error) + "</p>";
    content += "<button type=\"submit\">Войти</button></form></div></div>";
    return htmlPage("Вход", content);
}

}  // namespace site
