#pragma once
// The real main window, started once for the test program. Each test starts
// from a settled page 0 of an unlinked, empty profile with no request
// running.

#include <gtest/gtest.h>

#include <windows.h>

#include "app/app_state.h"
#include "app/controls.h"
#include "support/pump_until_win.h"

namespace apptest {

using namespace testsupport;

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { started_ = startTestShell(); }

    static void TearDownTestSuite() { endTestShell(); }

    void SetUp() override {
        ASSERT_TRUE(started_) << "the main window could not be created";
        app.busy = false;
        app.token.clear();
        app.statusLine = L"Готов к первому снимку";
        app.currentPage = 0;
        app.indicatorPos = 0.0f;
        app.pageProgress = 1.0f;
        app.pageDirection = 1;
        app.profile = nlohmann::json::object();
        app.news = nlohmann::json::array();
        app.settingsDoc["captures"] = nlohmann::json::object();
        KillTimer(app.mainWindow, TIMER_PAGE_ANIMATION);
        rebuildControls();
        ShowWindow(app.mainWindow, SW_SHOW);
        pumpMessages();
    }

    static LRESULT command(int id) { return SendMessageW(app.mainWindow, WM_COMMAND, id, 0); }

private:
    static inline bool started_ = false;
};

}  // namespace apptest
