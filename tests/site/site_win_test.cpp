// The site client's Windows side: the request runner on the program's real
// main window, the clipboard, and WinHTTP against a loopback server for
// what the companion site never does.

#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "site/clipboard_text_win.h"
#include "site/http_request.h"
#include "site/request_runner.h"
#include "site_session_win.h"

using nlohmann::json;
using namespace sitetest;

namespace {

// The shell runs for every test of this program, the end-to-end ones too.
class ShellEnvironment : public ::testing::Environment {
    void SetUp() override {
        // LOCALAPPDATA lies in the build's own Wine prefix, never a user's.
        DeleteFileW((toWide(std::getenv("LOCALAPPDATA")) + L"\\Clipvane\\settings.json").c_str());
        ASSERT_TRUE(testsupport::startTestShell());
    }
    void TearDown() override { testsupport::endTestShell(); }
};
const auto* const shellEnvironment = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

constexpr wchar_t kConnecting[] = L"Соединение с сайтом…";
constexpr wchar_t kFailed[] = L"Не удалось выполнить запрос";
constexpr char kNoConnection[] = "Нет соединения с сайтом. Проверьте интернет и адрес";

bool idle() {
    return !app.busy;
}

class RequestRunner : public ::testing::Test {
protected:
    void TearDown() override {
        setRequestRunnerSeams(nullptr, nullptr);
        pumpUntil(idle);
    }
};

}  // namespace

// The completion runs on the interface thread, after busy is cleared: it may start the next request.
TEST_F(RequestRunner, OneRequestAtATimeEachCompletedOnTheInterfaceThread) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    DWORD workThread = 0, doneThread = 0;
    bool secondRan = false, thirdDone = false;
    runAsync(
        [&, released] {
            workThread = GetCurrentThreadId();
            released.wait();
            return json(1);
        },
        [&](const json&) {
            doneThread = GetCurrentThreadId();
            runAsync([] { return json(3); }, [&](const json& answer) { thirdDone = answer == 3; });
        });
    EXPECT_EQ(app.statusLine, kConnecting);
    runAsync(
        [&] {
            secondRan = true;
            return json(2);
        },
        [&](const json&) { secondRan = true; });
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения текущего запроса");
    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return thirdDone && idle(); }));
    EXPECT_FALSE(secondRan);
    EXPECT_NE(workThread, GetCurrentThreadId());
    EXPECT_EQ(doneThread, GetCurrentThreadId());
    EXPECT_FALSE(app.workerThread.joinable());
}

TEST_F(RequestRunner, FailuresOfTheWorkOrTheCompletionEndOnTheStatusLine) {
    bool completed = false;
    const RequestDone record = [&](const json&) { completed = true; };
    const RequestWork answers = [] { return json::object(); };
    struct Row {
        RequestWork work;
        RequestDone done;
        std::wstring status;
    };
    const Row rows[] = {
        {[]() -> json { throw std::runtime_error(kNoConnection); }, record, toWide(kNoConnection)},
        {[]() -> json { throw std::runtime_error(""); }, record, kFailed},
        {[]() -> json { throw 42; }, record, kFailed},
        {answers, [](const json&) { throw std::runtime_error("Сайт не выдал ключ доступа"); }, L"Сайт не выдал ключ доступа"},
        {answers, [](const json&) { throw 7; }, kFailed},
    };
    for (const Row& row : rows) {
        runAsync(row.work, row.done);
        ASSERT_TRUE(pumpUntil(idle));
        EXPECT_EQ(app.statusLine, row.status);
        EXPECT_FALSE(completed);
    }
}

TEST_F(RequestRunner, ResultThatCannotBePostedIsCollectedAndEndsTheRequest) {
    setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
    bool completed = false;
    runAsync([] { return json(1); }, [&](const json&) { completed = true; });
    app.workerThread.join();  // the worker has parked its result
    EXPECT_TRUE(collectUndeliveredResult());
    EXPECT_FALSE(app.busy);
    EXPECT_EQ(app.statusLine, kFailed);
    EXPECT_FALSE(completed);
    EXPECT_FALSE(collectUndeliveredResult());

    // The next request collects one by itself instead of waiting for ever.
    runAsync([] { return json(2); }, [&](const json&) { completed = true; });
    app.workerThread.join();
    setRequestRunnerSeams(nullptr, nullptr);
    runAsync([] { return json(3); }, [&](const json&) { completed = true; });
    EXPECT_EQ(app.statusLine, kConnecting);
    ASSERT_TRUE(pumpUntil([&] { return completed; }));
}

TEST_F(RequestRunner, ThreadThatCannotStartLeavesTheRunnerIdle) {
    setRequestRunnerSeams(nullptr, [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    runAsync([] { return json(1); }, [](const json&) {});
    EXPECT_FALSE(app.busy);
    EXPECT_EQ(app.statusLine, kFailed);
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
    int trustedPort = 0, untrustedPort = 0;
    std::istringstream(fixtureText("ports")) >> trustedPort >> untrustedPort;
    ASSERT_NE(untrustedPort, 0) << "the loopback test server is not running";
    auto outcome = [](int port, const wchar_t* path) -> std::string {
        try {
            return httpRequest(L"https://localhost:" + std::to_wstring(port), "", L"GET", path, "", false).dump();
        } catch (const std::exception& error) {
            return error.what();
        }
    };
    EXPECT_EQ(outcome(trustedPort, L"/ok"), "{}");
    // Followed, the redirect would land on /ok.
    EXPECT_EQ(outcome(trustedPort, L"/moved"), "Сайт вернул некорректный ответ");
    EXPECT_EQ(outcome(untrustedPort, L"/ok"), kNoConnection);
    EXPECT_EQ(outcome(trustedPort, L"/silent"), kNoConnection);
}
