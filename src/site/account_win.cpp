#include "site/account.h"

#include <windows.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/controls.h"
#include "site/app_site_host_win.h"
#include "site/http_request.h"
#include "site/request_runner.h"
#include "site/site_address.h"
#include "site/site_operations.h"
#include "storage/text.h"

void refresh() {
    std::string address = toUtf8(app.siteAddress);
    std::string token = app.token;
    runAsync([address, token] { return refreshWork(httpRequestUtf8, address, token); },
             [](const nlohmann::json& answer) { completeRefresh(appSiteHost(), answer); });
}

void linkDevice() {
    if (requestInFlight()) return;
    std::string address = toUtf8(withoutTrailingSlashes(readWindowText(app.siteAddressEdit)));
    std::string code = toUtf8(readWindowText(app.linkCodeEdit));
    runAsync([address, code] { return linkWork(httpRequestUtf8, address, code); },
             [address](const nlohmann::json& answer) { completeLink(appSiteHost(), address, answer); });
}

void unlinkDevice() {
    if (requestInFlight()) return;
    forgetLink(appSiteHost());
}

void openAccountPage() {
    std::optional<std::string> page = accountPageUrl(toUtf8(app.siteAddress));
    if (!page) return;
    ShellExecuteW(app.mainWindow, L"open", toWide(*page).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
