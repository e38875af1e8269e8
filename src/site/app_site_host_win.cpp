#include "site/app_site_host_win.h"

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/controls.h"
#include "editor/editor_state.h"
#include "site/clipboard_text_win.h"
#include "storage/settings.h"
#include "storage/text.h"

namespace {

class AppSiteHost : public SiteHost {
public:
    nlohmann::json& profile() override { return app.profile; }
    nlohmann::json& news() override { return app.news; }
    bool linked() const override { return !app.token.empty(); }
    void showStatus(const std::string& text) override { setStatus(toWide(text)); }
    std::string siteAddress() const override { return toUtf8(app.siteAddress); }
    void setSiteAddress(const std::string& address) override { app.siteAddress = toWide(address); }
    bool storeToken(const std::string& token) override { return setToken(token); }
    bool forgetToken() override { return setToken(""); }
    void requestRefresh() override { PostMessageW(app.mainWindow, WM_COMMAND, ID_REFRESH, 0); }
    void rebuildControls() override { ::rebuildControls(); }
    bool copyText(const std::string& text) override { return putTextOnClipboard(app.mainWindow, toWide(text)); }
    void showMessage(const std::string& text, const std::string& caption) override {
        HWND owner = editorState.editorWindow ? editorState.editorWindow : app.mainWindow;
        MessageBoxW(owner, toWide(text).c_str(), toWide(caption).c_str(), MB_OK | MB_ICONINFORMATION);
    }
};

}  // namespace

SiteHost& appSiteHost() {
    static AppSiteHost host;
    return host;
}
