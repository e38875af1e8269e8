#include <chrono>

#include "app/app_state.h"
#include "storage/capture_history.h"
#include "storage/capture_log.h"
#include "storage/settings.h"

// Days that sort before this many days back are dropped at every shot.
constexpr int kHistoryDays = 60;

std::string dayKey(int offset) {
    return dayKeyAt(std::chrono::system_clock::now(), offset);
}

int countOnDay(int offset) {
    return countOnDayIn(app.settingsDoc, dayKey(offset));
}

void recordCapture() {
    changeSettings([today = dayKey(0), cutoff = dayKey(-kHistoryDays)](nlohmann::json& doc) {
        recordCaptureIn(doc, today, cutoff);
    });
}
