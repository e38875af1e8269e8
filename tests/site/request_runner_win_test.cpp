#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <system_error>

#include "runner_window.h"
#include "storage/text.h"

using nlohmann::json;

namespace {

constexpr wchar_t kConnecting[] = L"Соединение с сайтом…";
constexpr wchar_t kWait[] = L"Дождитесь завершения текущего запроса";
constexpr wchar_t kFailed[] = L"Не удалось выполнить запрос";

class RequestRunner : public ::testing::Test {
protected:
    void SetUp() override {
        app.busy = false;
        app.statusLine = L"начало";
        app.profile = json::object();
        app.news = json::array();
    }
    void TearDown() override { setRequestRunnerSeams(nullptr, nullptr); }

    bool waitUntilIdle() {
        return window_.pumpUntil([] { return !app.busy; });
    }

    RunnerWindow window_;
};

}  // namespace

TEST_F(RequestRunner, SuccessRunsTheCompletionWithTheAnswerOnTheInterfaceThread) {
    DWORD interfaceThread = GetCurrentThreadId();
    DWORD workThread = 0;
    DWORD doneThread = 0;
    json received;
    runAsync(
        [&] {
            workThread = GetCurrentThreadId();
            return json{{"news", 1}};
        },
        [&](const json& answer) {
            doneThread = GetCurrentThreadId();
            received = answer;
            setStatus(L"готово");
        });
    EXPECT_TRUE(app.busy);
    EXPECT_EQ(app.statusLine, kConnecting);
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(received, json({{"news", 1}}));
    EXPECT_NE(workThread, interfaceThread);
    EXPECT_EQ(doneThread, interfaceThread);
    EXPECT_EQ(app.statusLine, L"готово");
    EXPECT_FALSE(app.workerThread.joinable());
}

TEST_F(RequestRunner, SecondRequestWhileOneRunsIsRefusedAndTheFirstStillLands) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    int firstDone = 0;
    bool secondRan = false;
    runAsync(
        [released] {
            released.wait();
            return json(1);
        },
        [&](const json&) { ++firstDone; });
    runAsync(
        [&] {
            secondRan = true;
            return json(2);
        },
        [&](const json&) { secondRan = true; });
    EXPECT_EQ(app.statusLine, kWait);
    EXPECT_TRUE(app.busy);

    release.set_value();
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(firstDone, 1);
    EXPECT_FALSE(secondRan);

    bool thirdDone = false;
    runAsync([] { return json(3); }, [&](const json& answer) { thirdDone = answer == 3; });
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_TRUE(thirdDone);
}

TEST_F(RequestRunner, WorkFailuresReachTheStatusLineAndNeverTheCompletion) {
    struct Case {
        RequestWork work;
        std::wstring status;
    };
    const Case cases[] = {
        {[]() -> json { throw 42; }, kFailed},
        {[]() -> json { throw std::runtime_error("Нет соединения с сайтом. Проверьте интернет и адрес"); },
         L"Нет соединения с сайтом. Проверьте интернет и адрес"},
        {[]() -> json { return json::array().at("token"); }, L""},
        {[]() -> json { throw std::runtime_error(""); }, kFailed},
    };
    for (const Case& c : cases) {
        bool completed = false;
        app.profile = json{{"used", 3}};
        runAsync(c.work, [&](const json&) { completed = true; });
        ASSERT_TRUE(waitUntilIdle());
        EXPECT_FALSE(completed);
        if (c.status.empty()) {
            EXPECT_NE(app.statusLine.find(L"type_error"), std::wstring::npos) << toUtf8(app.statusLine);
        } else {
            EXPECT_EQ(app.statusLine, c.status);
        }
        EXPECT_EQ(app.profile, json({{"used", 3}}));
    }
}

TEST_F(RequestRunner, CompletionMayStartTheNextRequest) {
    bool secondDone = false;
    runAsync([] { return json(1); },
             [&](const json&) {
                 EXPECT_FALSE(app.busy);
                 runAsync([] { return json(2); }, [&](const json& answer) { secondDone = answer == 2; });
                 EXPECT_EQ(app.statusLine, kConnecting);
             });
    ASSERT_TRUE(window_.pumpUntil([&] { return secondDone; }));
    EXPECT_FALSE(app.busy);
}

TEST_F(RequestRunner, CompletionFailuresAreShownOnTheStatusLine) {
    runAsync([] { return json::object(); },
             [](const json& answer) { answer.at("url").get<std::string>(); });
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_NE(app.statusLine.find(L"key 'url' not found"), std::wstring::npos) << toUtf8(app.statusLine);

    runAsync([] { return json::object(); }, nullptr);
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(app.statusLine, toWide(std::bad_function_call().what()));

    runAsync([] { return json::object(); }, [](const json&) { throw 7; });
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(app.statusLine, kFailed);
}

TEST_F(RequestRunner, ResultThatCannotBePostedStillEndsTheRequest) {
    setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
    bool completed = false;
    runAsync([] { return json(1); }, [&](const json&) { completed = true; });
    app.workerThread.join();  // the worker has parked its result
    EXPECT_TRUE(app.busy);

    EXPECT_TRUE(collectUndeliveredResult());
    EXPECT_FALSE(app.busy);
    EXPECT_EQ(app.statusLine, kFailed);
    EXPECT_FALSE(completed);
    EXPECT_FALSE(collectUndeliveredResult());
}

TEST_F(RequestRunner, NextRequestCollectsAnUndeliveredResultInsteadOfWaitingForEver) {
    setRequestRunnerSeams([](RequestResult*) { return false; }, nullptr);
    runAsync([] { return json(1); }, [](const json&) {});
    app.workerThread.join();

    setRequestRunnerSeams(nullptr, nullptr);
    bool secondDone = false;
    runAsync([] { return json(2); }, [&](const json&) { secondDone = true; });
    EXPECT_EQ(app.statusLine, kConnecting);
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_TRUE(secondDone);
}

TEST_F(RequestRunner, ThreadThatCannotStartLeavesTheRunnerIdle) {
    setRequestRunnerSeams(nullptr, [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    bool ran = false;
    runAsync(
        [&] {
            ran = true;
            return json(1);
        },
        [&](const json&) { ran = true; });
    EXPECT_FALSE(app.busy);
    EXPECT_EQ(app.statusLine, kFailed);
    EXPECT_FALSE(app.workerThread.joinable());

    setRequestRunnerSeams(nullptr, nullptr);
    runAsync([] { return json(2); }, [&](const json&) { ran = true; });
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_TRUE(ran);
}
