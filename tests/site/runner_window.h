#pragma once
// A message-only window standing in for the main window, so requests run
// in process: it hands WM_REQUEST_DONE to onRequestDone.

#include <windows.h>

#include <functional>

#include "app/app_state.h"
#include "site/request_runner.h"

class RunnerWindow {
public:
    RunnerWindow();
    ~RunnerWindow();
    RunnerWindow(const RunnerWindow&) = delete;
    RunnerWindow& operator=(const RunnerWindow&) = delete;

    // Dispatches messages until the condition holds; false when a long
    // guard timer ran out first (a result that never arrives).
    bool pumpUntil(const std::function<bool()>& condition);

private:
    HWND window_ = nullptr;
};
