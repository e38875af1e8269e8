#pragma once
// One site request at a time on a worker thread; its outcome returns to the
// user-interface thread as WM_REQUEST_DONE.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

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

// A worker whose result could not be handed to the main window leaves it
// here; this ends that request ("Не удалось выполнить запрос") so that busy
// does not stay set. Returns whether a request was ended.
bool collectUndeliveredResult();

// Whether a request is still running, once a result that could not be
// posted has been collected. Every guard asks this rather than reading busy,
// or a lost post would block it until something else collects the result.
bool requestInFlight();

// How the worker hands its result to the main window and how a worker
// thread starts. Empty functions restore the real ones (posting
// WM_REQUEST_DONE, std::thread); tests replace them.
using ResultPoster = std::function<bool(RequestResult*)>;
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
void setRequestRunnerSeams(ResultPoster poster, ThreadStarter starter);
