#pragma once
// Waiting for something a window of this thread does in its own time.

#include <functional>

#include "support/shell_session_win.h"
#include "support/win_process.h"

namespace testsupport {

// Dispatches this thread's messages until `done` holds, for at most 20 s.
inline bool pumpUntil(const std::function<bool()>& done) {
    return waitFor([&] {
        pumpMessages();
        return done();
    });
}

}  // namespace testsupport
