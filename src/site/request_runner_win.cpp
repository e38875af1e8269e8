#include "site/request_runner.h"

#include <atomic>
#include <memory>
#include <system_error>

#include "app/app_state.h"
#include "storage/text.h"

namespace {

constexpr wchar_t kRequestFailed[] = L"Не удалось выполнить запрос";

// A result nobody could take; owned here until the user-interface thread
// collects it.
std::atomic<RequestResult*> undelivered{nullptr};

struct UndeliveredCleanup {
    ~UndeliveredCleanup() { delete undelivered.exchange(nullptr); }
} undeliveredCleanup;

// A full posted-message queue does not stop a notification, which travels
// as a sent message and does not wait for the receiver.
bool postToMainWindow(RequestResult* result) {
    LPARAM address = reinterpret_cast<LPARAM>(result);
    return PostMessageW(app.mainWindow, WM_REQUEST_DONE, 0, address) ||
           SendNotifyMessageW(app.mainWindow, WM_REQUEST_DONE, 0, address);
}

std::thread startThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

ResultPoster poster = postToMainWindow;
ThreadStarter starter = startThread;

void runWork(RequestResult& result, const RequestWork& work) {
    try {
        result.response = work();
    } catch (const std::exception& error) {
        result.errorText = toWide(error.what());
        if (result.errorText.empty()) result.errorText = kRequestFailed;
    } catch (...) {
        result.errorText = kRequestFailed;
    }
}

void workerBody(const RequestWork& work, const RequestDone& done) {
    auto result = std::make_unique<RequestResult>();
    result->onDone = done;
    runWork(*result, work);
    if (poster(result.get())) {
        result.release();  // the main window owns it now
        return;
    }
    result->response = nullptr;
    result->errorText = kRequestFailed;
    result->onDone = nullptr;
    delete undelivered.exchange(result.release());
}

void joinWorker() {
    if (app.workerThread.joinable()) app.workerThread.join();
}

void runCompletion(const RequestResult& result) {
    try {
        result.onDone(result.response);
    } catch (const std::exception& error) {
        setStatus(toWide(error.what()));
    } catch (...) {
        setStatus(kRequestFailed);
    }
}

void finishRequest(std::unique_ptr<RequestResult> result) {
    joinWorker();
    app.busy = false;
    if (!result->errorText.empty()) {
        setStatus(result->errorText);
    } else {
        runCompletion(*result);
    }
    InvalidateRect(app.mainWindow, nullptr, FALSE);
}

}  // namespace

void setRequestRunnerSeams(ResultPoster newPoster, ThreadStarter newStarter) {
    poster = newPoster ? std::move(newPoster) : ResultPoster(postToMainWindow);
    starter = newStarter ? std::move(newStarter) : ThreadStarter(startThread);
}

bool collectUndeliveredResult() {
    RequestResult* result = undelivered.exchange(nullptr);
    if (!result) return false;
    finishRequest(std::unique_ptr<RequestResult>(result));
    return true;
}

bool requestInFlight() {
    collectUndeliveredResult();
    return app.busy;
}

void runAsync(RequestWork work, RequestDone done) {
    if (requestInFlight()) {
        setStatus(L"Дождитесь завершения текущего запроса");
        return;
    }
    joinWorker();
    app.busy = true;
    setStatus(L"Соединение с сайтом…");
    try {
        app.workerThread = starter([work = std::move(work), done = std::move(done)] { workerBody(work, done); });
    } catch (const std::system_error&) {
        // No thread, so no result will ever come back.
        app.busy = false;
        setStatus(kRequestFailed);
    }
}

void onRequestDone(LPARAM lParam) {
    finishRequest(std::unique_ptr<RequestResult>(reinterpret_cast<RequestResult*>(lParam)));
}
