#pragma once
// Helpers for Windows tests that start other programs and wait on them.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "storage/text.h"

namespace testsupport {

// Build paths arrive as Unix paths; Wine shows the Unix root as drive Z:.
inline std::wstring windowsPath(const char* unixPath) {
    return L"Z:" + toWide(unixPath);
}

// A started program; killed if still running when the test ends.
struct Process {
    PROCESS_INFORMATION info{};

    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (!info.hProcess) return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 9);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }

    bool start(std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info) != 0;
    }

    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD waitForExit(DWORD milliseconds) const {
        if (WaitForSingleObject(info.hProcess, milliseconds) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
};

inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

inline HWND runningMainWindow() {
    return FindWindowW(L"ClipvaneMain", nullptr);
}

}  // namespace testsupport
