// The whole way from a link code to a public link, against the real
// companion site on loopback: link, capture a region with mouse messages,
// draw a mark, upload, and check from outside what the program did.

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/controls.h"
#include "capture/capture.h"
#include "editor/editor_state.h"
#include "editor/export.h"
#include "site/http_request.h"
#include "storage/text.h"
#include "support/file_bytes.h"
#include "support/shell_session_win.h"
#include "support/win_process.h"

namespace {

using namespace testsupport;

// A file the fixture wrote, without its line end.
std::string readLine(const std::wstring& path) {
    std::string text = readFile(path);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::wstring siteFile(const wchar_t* name) {
    return toWide(std::getenv("CLIPVANE_COMPANION_DIR")) + L"/" + name;
}

void pumpUntil(const std::function<bool()>& done) {
    waitFor([&] {
        pumpMessages();
        return done();
    });
}

// Closes every message box of this process that appears while it lives and
// keeps the text of the last one.
class MessageBoxCloser {
public:
    MessageBoxCloser() : thread_([this] { run(); }) {}
    ~MessageBoxCloser() {
        stop_ = true;
        thread_.join();
    }
    std::wstring lastText() {
        std::lock_guard lock(mutex_);
        return text_;
    }
    int closed() const { return closed_; }

private:
    // Every static text of the box: the message is one of them.
    static std::wstring staticTexts(HWND box) {
        std::wstring all;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM target) -> BOOL {
                wchar_t className[16] = {};
                GetClassNameW(child, className, 16);
                if (_wcsicmp(className, L"Static") == 0) {
                    wchar_t text[512] = {};
                    GetWindowTextW(child, text, 511);
                    *reinterpret_cast<std::wstring*>(target) += text;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&all));
        return all;
    }

    void run() {
        while (!stop_) {
            HWND box = FindWindowW(L"#32770", nullptr);
            DWORD process = 0;
            if (box) GetWindowThreadProcessId(box, &process);
            if (box && process == GetCurrentProcessId() && IsWindowVisible(box)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let it fill its texts
                std::wstring text = staticTexts(box);
                {
                    std::lock_guard lock(mutex_);
                    text_ = text;
                }
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                ++closed_;
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
    std::mutex mutex_;
    std::wstring text_;
    std::thread thread_;
};

std::wstring clipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

struct InternetHandle {
    HINTERNET handle;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    ~InternetHandle() {
        if (handle) WinHttpCloseHandle(handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

// A plain GET of the link, as a browser would fetch it: status and bytes.
std::pair<DWORD, std::string> fetch(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {}, path[1024] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1023;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return {0, {}};
    InternetHandle session(WinHttpOpen(L"e2e", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    InternetHandle connection(WinHttpConnect(session.handle, host, parts.nPort, 0));
    InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", path, nullptr, nullptr, nullptr,
                                              WINHTTP_FLAG_SECURE));
    if (!WinHttpSendRequest(request.handle, nullptr, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr))
        return {0, {}};
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status, &size,
                        nullptr);
    std::string body;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available) || available == 0) break;
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!WinHttpReadData(request.handle, chunk.data(), available, &read)) break;
        body.append(chunk, 0, read);
    }
    return {status, body};
}

nlohmann::json profileFromSite() {
    return httpRequest(app.siteAddress, app.token, L"GET", L"/api/me", "", false);
}

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DeleteFileW((toWide(std::getenv("LOCALAPPDATA")) + L"\\Clipvane\\settings.json").c_str());
        started_ = startTestShell();
    }
    static void TearDownTestSuite() { endTestShell(); }
    void SetUp() override {
        ASSERT_TRUE(started_);
        address_ = toWide(readLine(siteFile(L"address")));
        ASSERT_FALSE(address_.empty()) << "the companion site fixture did not run";
    }

    // Types into the profile page's form and presses "Привязать".
    static void link(const std::wstring& address, const std::wstring& code) {
        SendMessageW(app.mainWindow, WM_COMMAND, ID_PAGE_FIRST + 4, 0);
        SetWindowTextW(app.siteAddressEdit, address.c_str());
        SetWindowTextW(app.linkCodeEdit, code.c_str());
        SendMessageW(app.mainWindow, WM_COMMAND, ID_LINK, 0);
        pumpUntil([] { return !app.busy; });
        // A successful link posts a refresh; let it finish too.
        pumpUntil([] { return !app.busy; });
    }

    // Drags a region over the overlay and draws an arrow in the editor.
    static bool captureAndMark() {
        startCapture(true);
        pumpUntil([] { return app.overlayWindow != nullptr; });
        if (!app.overlayWindow) return false;
        SendMessageW(app.overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 120));
        SendMessageW(app.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 260));
        SendMessageW(app.overlayWindow, WM_LBUTTONUP, 0, MAKELPARAM(300, 260));
        pumpUntil([] { return editorState.editorWindow != nullptr; });
        HWND editor = editorState.editorWindow;
        if (!editor) return false;
        UpdateWindow(editor);
        pumpUntil([] { return editorState.imageRect.Width > 0; });
        const Gdiplus::RectF& image = editorState.imageRect;
        auto at = [&](float fx, float fy) {
            return MAKELPARAM(static_cast<int>(image.X + image.Width * fx), static_cast<int>(image.Y + image.Height * fy));
        };
        editorState.tool = AnnotationKind::Arrow;
        SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, at(0.2f, 0.2f));
        SendMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, at(0.8f, 0.7f));
        SendMessageW(editor, WM_LBUTTONUP, 0, at(0.8f, 0.7f));
        return editorState.annotations.size() == 1;
    }

    static void closeEditor() {
        if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
        pumpUntil([] { return editorState.editorWindow == nullptr; });
    }

    std::wstring address_;

private:
    static inline bool started_ = false;
};

TEST_F(EndToEnd, AWrongCodeOrASiteThatIsDownLeavesTheDeviceUnlinked) {
    link(address_, L"WRONG-CODE");
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.statusLine, L"Код неверный или устарел. Получите новый код в личном кабинете");

    link(L"https://localhost:1", toWide(readLine(siteFile(L"code-relink"))));
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.statusLine, L"Нет соединения с сайтом. Проверьте интернет и адрес");
    // The address of a failed link is not taken over.
    EXPECT_NE(app.siteAddress, L"https://localhost:1");
}

TEST_F(EndToEnd, LinkCaptureMarkUploadAndUnlink) {
    link(address_ + L"///", toWide(readLine(siteFile(L"code-link"))));
    ASSERT_FALSE(app.token.empty()) << toUtf8(app.statusLine);
    EXPECT_EQ(app.siteAddress, address_);  // the typed slashes are gone
    ASSERT_TRUE(app.profile.is_object());
    EXPECT_EQ(app.profile.value("username", std::string()), "e2e");
    int usedBefore = app.profile.value("used", -1);
    ASSERT_GE(usedBefore, 0);

    ASSERT_TRUE(captureAndMark());
    std::string encoded = flattenedPng();
    {
        MessageBoxCloser closer;
        SendMessageW(editorState.editorWindow, WM_COMMAND, ID_UPLOAD, 0);
        pumpUntil([] { return !app.busy; });
        pumpUntil([&] { return closer.closed() > 0; });
        std::wstring link = clipboardText();
        ASSERT_EQ(link.rfind(address_ + L"/s/", 0), 0u) << toUtf8(link);
        EXPECT_NE(closer.lastText().find(link), std::wstring::npos) << toUtf8(closer.lastText());
        EXPECT_EQ(app.statusLine, L"Ссылка скопирована • доступна 14 дней");
        EXPECT_EQ(app.profile.value("used", -1), usedBefore + 1);

        auto [status, served] = fetch(link);
        EXPECT_EQ(status, 200u);
        EXPECT_EQ(served.size(), encoded.size());
        EXPECT_TRUE(served == encoded) << "the site serves other bytes than the program encoded";
    }
    EXPECT_EQ(profileFromSite().value("used", -1), usedBefore + 1);
    closeEditor();

    SendMessageW(app.mainWindow, WM_COMMAND, ID_PAGE_FIRST + 4, 0);
    SendMessageW(app.mainWindow, WM_COMMAND, ID_UNLINK, 0);
    EXPECT_TRUE(app.token.empty());
    EXPECT_EQ(app.statusLine, L"Приложение отвязано");
    std::string settings = readFile(toWide(std::getenv("LOCALAPPDATA")) + L"\\Clipvane\\settings.json");
    EXPECT_EQ(settings.find("\"token\""), std::string::npos) << settings;
}

TEST_F(EndToEnd, TheDailyLimitReachedIsReportedAndNothingIsCounted) {
    link(address_, toWide(readLine(siteFile(L"code-relink"))));
    ASSERT_FALSE(app.token.empty()) << toUtf8(app.statusLine);
    ASSERT_TRUE(captureAndMark());
    std::string png = flattenedPng();
    // Fill today's quota from outside the program.
    nlohmann::json me = profileFromSite();
    for (int used = me.value("used", 0); used < me.value("limit", 30); ++used) {
        httpRequest(app.siteAddress, app.token, L"POST", L"/api/shots", png, true);
    }
    int usedBefore = app.profile.value("used", 0);
    {
        MessageBoxCloser closer;
        SendMessageW(editorState.editorWindow, WM_COMMAND, ID_UPLOAD, 0);
        pumpUntil([] { return !app.busy; });
        EXPECT_EQ(closer.closed(), 0);
    }
    EXPECT_EQ(app.statusLine, L"Дневной лимит загрузок исчерпан. Он обновится в 00:00 UTC");
    EXPECT_EQ(app.profile.value("used", 0), usedBefore);
    closeEditor();
}

}  // namespace
