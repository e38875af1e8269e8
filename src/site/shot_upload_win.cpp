#include "site/shot_upload.h"

#include <memory>

#include "app/app_state.h"
#include "site/app_site_host_win.h"
#include "site/http_request.h"
#include "site/request_runner.h"
#include "site/site_operations.h"
#include "storage/text.h"

void startShotUpload(std::string png) {
    std::string address = toUtf8(app.siteAddress);
    std::string token = app.token;
    // Shared so the work function stays copyable without copying the bytes.
    auto bytes = std::make_shared<const std::string>(std::move(png));
    runAsync([address, token, bytes] { return uploadWork(httpRequestUtf8, address, token, *bytes); },
             [](const nlohmann::json& answer) { completeUpload(appSiteHost(), answer); });
}
