// The whole way from a link code to a public link against the real companion
// site on loopback: link, capture a region with mouse messages, upload,
// unlink, and ask the site what it took.

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "site/http_request.h"
#include "site/request_runner.h"
#include "site_session_win.h"

using namespace sitetest;

namespace {

// Closes each message box of this thread as it opens, and counts them.
class MessageBoxCloser {
public:
    MessageBoxCloser() : hook_(SetWindowsHookExW(WH_CBT, onEvent, nullptr, GetCurrentThreadId())) { closed = 0; }
    ~MessageBoxCloser() { UnhookWindowsHookEx(hook_); }
    static inline int closed = 0;

private:
    static LRESULT CALLBACK onEvent(int code, WPARAM wParam, LPARAM lParam) {
        wchar_t name[16] = {};
        if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) &&
            std::wstring(name) == L"#32770") {
            PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
            ++closed;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

// Types into the profile page's form and presses "Привязать".
void link(const std::wstring& address, const std::string& code) {
    SendMessageW(app.mainWindow, WM_COMMAND, ID_PAGE_FIRST + 4, 0);
    SetWindowTextW(app.siteAddressEdit, address.c_str());
    SetWindowTextW(app.linkCodeEdit, toWide(code).c_str());
    SendMessageW(app.mainWindow, WM_COMMAND, ID_LINK, 0);
    pumpUntil([] { return !app.busy; });
}

// Drags a region over the overlay, which opens the editor.
bool captureRegion() {
    startCapture(true);
    if (!pumpUntil([] { return app.overlayWindow != nullptr; })) return false;
    SendMessageW(app.overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 120));
    SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 260));
    SendMessageW(app.overlayWindow, WM_LBUTTONUP, 0, MAKELPARAM(300, 260));
    return pumpUntil([] { return editorState.editorWindow != nullptr; });
}

}  // namespace

TEST(EndToEnd, AWrongCodeOrASiteThatIsDownLeavesTheDeviceUnlinked) {
    std::wstring address = toWide(fixtureText("address"));
    ASSERT_FALSE(address.empty()) << "the companion site fixture did not run";
    link(address, "WRONG-CODE");
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.statusLine, L"Код неверный или устарел. Получите новый код в личном кабинете");

    link(L"https://localhost:1", fixtureText("code-link"));
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.statusLine, L"Нет соединения с сайтом. Проверьте интернет и адрес");
    EXPECT_NE(app.siteAddress, L"https://localhost:1");
}

TEST(EndToEnd, LinkCaptureUploadAndUnlink) {
    std::wstring address = toWide(fixtureText("address"));
    link(address + L"///", fixtureText("code-link"));
    ASSERT_FALSE(app.token.empty()) << toUtf8(app.statusLine);
    EXPECT_EQ(app.siteAddress, address);  // the typed slashes are gone
    // A successful link posts a refresh, which brings the profile.
    EXPECT_TRUE(pumpUntil([] { return !app.busy && app.profile.contains("username"); })) << toUtf8(app.statusLine);
    EXPECT_EQ(app.profile.value("username", std::string()), "e2e");
    int usedBefore = app.profile.value("used", -1);

    ASSERT_TRUE(captureRegion());
    MessageBoxCloser closer;
    // The editor closes before the worker runs: the picture of the press still goes.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    setRequestRunnerSeams(nullptr, [released](std::function<void()> body) {
        return std::thread([released, body] {
            released.wait();
            body();
        });
    });
    SendMessageW(editorState.editorWindow, WM_COMMAND, ID_UPLOAD, 0);
    DestroyWindow(editorState.editorWindow);
    release.set_value();
    setRequestRunnerSeams(nullptr, nullptr);
    ASSERT_TRUE(pumpUntil([] { return !app.busy; }));
    ASSERT_EQ(MessageBoxCloser::closed, 1) << toUtf8(app.statusLine);
    EXPECT_EQ(clipboardText().rfind(address + L"/s/", 0), 0u) << toUtf8(clipboardText());
    EXPECT_EQ(app.profile.value("used", -1), usedBefore + 1);
    // The site took the PNG (it checks every chunk) and counted it.
    EXPECT_EQ(httpRequest(app.siteAddress, app.token, L"GET", L"/api/me", "", false).value("used", -1), usedBefore + 1);

    SendMessageW(app.mainWindow, WM_COMMAND, ID_UNLINK, 0);
    EXPECT_TRUE(app.token.empty());
    std::string settings = testsupport::readFile(toWide(std::getenv("LOCALAPPDATA")) + L"\\Clipvane\\settings.json");
    EXPECT_NE(settings.find("\"server\""), std::string::npos) << settings;
    EXPECT_EQ(settings.find("\"token\""), std::string::npos) << settings;
}
