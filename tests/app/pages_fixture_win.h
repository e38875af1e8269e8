#pragma once
// The real main window, started once for a test program, and the
// application states the page tests draw.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "support/shell_session_win.h"
#include "storage/capture_history.h"

namespace pagetest {

inline constexpr std::uint32_t kBackground = 0xFF111111;

// Shots per day, oldest first, for the week page.
inline void setWeek(const std::array<int, 7>& counts) {
    nlohmann::json captures = nlohmann::json::object();
    for (int day = 0; day < 7; ++day) {
        if (counts[day] != 0) captures[dayKey(day - 6)] = counts[day];
    }
    app.settingsDoc["captures"] = captures;
}

// Each test starts from a settled page 0 of an unlinked, empty profile.
class MainWindowPages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { started_ = testsupport::startTestShell(); }

    static void TearDownTestSuite() { testsupport::endTestShell(); }

    void SetUp() override {
        ASSERT_TRUE(started_) << "the main window could not be created";
        app.currentPage = 0;
        app.pageProgress = 1.0f;
        app.pageDirection = 1;
        app.statusLine = L"Готов к первому снимку";
        app.token.clear();
        app.profile = nlohmann::json::object();
        app.news = nlohmann::json::array();
        app.settingsDoc["captures"] = nlohmann::json::object();
    }

    static void showQuotaLinked() {
        app.currentPage = 0;
        app.token = "token";
        app.profile = {{"used", 7}, {"limit", 30}, {"pro", true}};
    }
    static void showWeek() {
        app.currentPage = 1;
        setWeek({0, 0, 5, 10, 0, 0, 1});
    }
    static void showComingSoon() { app.currentPage = 2; }
    static void showNewsItem() {
        app.currentPage = 3;
        app.news = nlohmann::json::array(
            {{{"title", "Быстрая загрузка"}, {"body", "Снимки теперь уходят на сайт вдвое быстрее."}},
             {{"title", "Старая новость"}, {"body", "Не видна на главной."}}});
    }
    static void showProfile() {
        app.currentPage = 4;
        app.profile = {{"username", "Анна"}};
    }

private:
    static inline bool started_ = false;
};

}  // namespace pagetest
