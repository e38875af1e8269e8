// The site client's Windows side on the real shell: the request runner, the
// clipboard, WinHTTP against loopback servers, and the whole way from a link
// code to a public link against the real companion site.

#include <future>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/command_ids.h"
#include "editor/export.h"
#include "site/clipboard_text_win.h"
#include "site/http_request.h"
#include "site/request_runner.h"
#include "site/shot_upload.h"
#include "support/win_harness.h"

using nlohmann::json;
using testsupport::pumpUntil;

namespace {

const auto* const shell = ::testing::AddGlobalTestEnvironment(new testsupport::ShellEnvironment);

constexpr char kNoConnection[] = "Нет соединения с сайтом. Проверьте интернет и адрес";

bool idle() { return !app.busy; }

// What the server fixture wrote (an address, a link code, a port); empty without the fixture.
std::string fixtureWord(const char* name) {
    const char* folder = std::getenv("CLIPVANE_SITE_SERVERS");
    std::string word;
    std::ifstream(std::filesystem::path(folder ? folder : "") / name) >> word;
    return word;
}

std::wstring clipboardText() {
    std::wstring text = L"(closed)";
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    text = chars ? chars : L"(none)";
    if (chars) GlobalUnlock(data);
    CloseClipboard();
    return text;
}

// Closes each message box of this thread as it opens, and counts them.
int closedBoxes = 0;
LRESULT CALLBACK closeMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t name[16] = {};
    auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && GetClassNameW(window, name, 16) && std::wstring(name) == L"#32770") {
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        ++closedBoxes;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// A completion runs on the interface thread after busy is cleared: it may start the next request.
TEST(RequestRunner, OneRequestAtATimeEachCompletedOnTheInterfaceThread) {
    const DWORD interfaceThread = GetCurrentThreadId();
    std::vector<int> completions;
    const RequestDone record = [&](const json& answer) {
        EXPECT_EQ(GetCurrentThreadId(), interfaceThread);
        completions.push_back(answer.get<int>());
    };
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    runAsync(
        [&, released] {
            EXPECT_NE(GetCurrentThreadId(), interfaceThread);
            released.wait();
            return json(1);
        },
        [&](const json& answer) {
            record(answer);
            runAsync([] { return json(3); }, record);
        });
    EXPECT_EQ(app.statusLine, L"Соединение с сайтом…");
    runAsync([] { return json(2); }, record);
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения текущего запроса");
    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return completions.size() == 2 && idle(); }));
    EXPECT_EQ(completions, (std::vector<int>{1, 3}));
    EXPECT_FALSE(app.workerThread.joinable());
}

TEST(ClipboardText, TakesTheWholeTextOrReportsAClipboardHeldElsewhere) {
    ASSERT_TRUE(putTextOnClipboard(nullptr, L"https://clip.test/s/абв"));
    EXPECT_EQ(clipboardText(), L"https://clip.test/s/абв");

    ASSERT_TRUE(OpenClipboard(app.mainWindow));  // held by this thread
    bool taken = std::async(std::launch::async, [] { return putTextOnClipboard(nullptr, L"after"); }).get();
    CloseClipboard();
    EXPECT_FALSE(taken);
    EXPECT_EQ(clipboardText(), L"https://clip.test/s/абв");
}

TEST(WinHttp, RedirectsUntrustedCertificatesAndSilenceEndInTheirSentences) {
    std::string trusted = fixtureWord("port"), untrusted = fixtureWord("untrusted-port");
    ASSERT_NE(untrusted, "") << "the loopback test servers are not running";
    auto outcome = [](const std::string& port, const wchar_t* path) -> std::string {
        try {
            return httpRequest(L"https://localhost:" + toWide(port), "", L"GET", path, "", false).dump();
        } catch (const std::exception& error) {
            return error.what();
        }
    };
    EXPECT_EQ(outcome(trusted, L"/ok"), "{}");
    // Followed, the redirect would land on /ok.
    EXPECT_EQ(outcome(trusted, L"/moved"), "Сайт вернул некорректный ответ");
    EXPECT_EQ(outcome(untrusted, L"/ok"), kNoConnection);
    EXPECT_EQ(outcome(trusted, L"/silent"), kNoConnection);
}

TEST(EndToEnd, LinkUploadAndUnlink) {
    std::wstring address = toWide(fixtureWord("address"));
    ASSERT_FALSE(address.empty()) << "the companion site fixture did not run";
    // The profile page's form, typed into, and "Привязать".
    SendMessageW(app.mainWindow, WM_COMMAND, ID_PAGE_FIRST + 4, 0);
    SetWindowTextW(app.siteAddressEdit, (address + L"///").c_str());
    SetWindowTextW(app.linkCodeEdit, toWide(fixtureWord("code-link")).c_str());
    SendMessageW(app.mainWindow, WM_COMMAND, ID_LINK, 0);
    pumpUntil(idle);
    ASSERT_FALSE(app.token.empty()) << toUtf8(app.statusLine);
    EXPECT_EQ(app.siteAddress, address);  // the typed slashes are gone
    // A successful link posts a refresh, which brings the profile.
    EXPECT_TRUE(pumpUntil([] { return idle() && app.profile.contains("username"); })) << toUtf8(app.statusLine);
    EXPECT_EQ(app.profile.value("username", std::string()), "e2e");
    int usedBefore = app.profile.value("used", -1);

    // With no editor open, only the bytes handed over can go.
    Gdiplus::Bitmap picture(40, 30, PixelFormat32bppARGB);
    closedBoxes = 0;
    std::unique_ptr<std::remove_pointer_t<HHOOK>, decltype(&UnhookWindowsHookEx)> hook(
        SetWindowsHookExW(WH_CBT, closeMessageBox, nullptr, GetCurrentThreadId()), UnhookWindowsHookEx);
    startShotUpload(encodePng(picture));
    ASSERT_TRUE(pumpUntil(idle));
    ASSERT_EQ(closedBoxes, 1) << toUtf8(app.statusLine);
    EXPECT_EQ(clipboardText().rfind(address + L"/s/", 0), 0u) << toUtf8(clipboardText());
    // The site took the PNG (it checks every chunk) and counted it.
    EXPECT_EQ(httpRequest(app.siteAddress, app.token, L"GET", L"/api/me", "", false).value("used", -1), usedBefore + 1);

    SendMessageW(app.mainWindow, WM_COMMAND, ID_UNLINK, 0);
    EXPECT_EQ(app.statusLine, L"Приложение отвязано");
    EXPECT_TRUE(app.token.empty());
    std::string settings = testsupport::readFile(app.settingsPath);
    EXPECT_NE(settings.find("\"server\""), std::string::npos) << settings;
    EXPECT_EQ(settings.find("\"token\""), std::string::npos) << settings;
}
