#pragma once
// One site request at a time on a worker thread; its outcome returns to the
// user-interface thread as WM_REQUEST_DONE.

#include <windows.h>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

using RequestWork = std::function<nlohmann::json()>;
using RequestDone = std::function<void(const nlohmann::json&)>;

struct RequestResult {
    nlohmann::json response;
    std::wstring errorText;
    RequestDone onDone;
};

void runAsync(RequestWork work, RequestDone done);

// The WM_REQUEST_DONE branch of the main window procedure.
void onRequestDone(LPARAM lParam);
