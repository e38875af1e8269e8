#include "editor/upload_start.h"

#include "app/app_state.h"
#include "app/controls.h"
#include "editor/export.h"
#include "site/request_runner.h"
#include "site/shot_upload.h"
#include "site/site_operations.h"

ShotSender sendShot = startShotUpload;

namespace {

constexpr int kProfilePage = 4;

void showLinkingPage() {
    setStatus(L"Сначала привяжите профиль на пятой вкладке");
    app.currentPage = kProfilePage;
    rebuildControls();
    ShowWindow(app.mainWindow, SW_SHOW);
    SetForegroundWindow(app.mainWindow);
}

}  // namespace

void uploadImage() {
    if (requestInFlight()) return;
    if (app.token.empty()) {
        showLinkingPage();
        return;
    }
    std::string png = flattenedPng();  // what the picture is at this press
    if (!pngFitsUploadLimit(png.size())) {
        setStatus(L"PNG больше 12 МБ. Выделите меньшую область");
        return;
    }
    sendShot(std::move(png));
}
