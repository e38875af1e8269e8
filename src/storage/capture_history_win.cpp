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
    recordCaptureIn(app.settingsDoc, dayKey(0), dayKey(-kHistoryDays));
    saveSettings();
}
