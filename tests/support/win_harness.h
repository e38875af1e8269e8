#pragma once
// How every Windows test starts the program: its real shell inside the test
// process, or the built program and its helpers as processes of their own,
// and how it waits for what they do in their own time.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/startup.h"
#include "storage/text.h"

namespace testsupport {

// Build paths arrive as Unix paths; Wine shows the Unix root as drive Z:.
inline std::wstring windowsPath(const char* unixPath) { return L"Z:" + toWide(unixPath); }

// A whole file as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
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
        STARTUPINFOW startup{sizeof startup};
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

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

inline HWND runningMainWindow() { return FindWindowW(L"ClipvaneMain", nullptr); }

inline void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Dispatches this thread's messages until `done` holds, for at most 20 s.
inline bool pumpUntil(const std::function<bool()>& done) {
    return waitFor([&] {
        pumpMessages();
        return done();
    });
}

inline bool startTestShell() { return startShell(GetModuleHandleW(nullptr)); }

// Ends the shell as the tray's exit would, dropping whatever it left queued.
inline void endTestShell() {
    if (app.mainWindow && IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    stopShell();
    app.mainWindow = nullptr;
}

// The real shell, started once for a whole test program (its tray icon is
// slow to come and go under Wine) on settings of its own: LOCALAPPDATA lies
// in the build's own Wine prefix, never a user's.
class ShellEnvironment : public ::testing::Environment {
    void SetUp() override {
        DeleteFileW((toWide(std::getenv("LOCALAPPDATA")) + L"\\Clipvane\\settings.json").c_str());
        ASSERT_TRUE(startTestShell()) << "the main window could not be created";
    }
    void TearDown() override { if (app.mainWindow) endTestShell(); }
};

}  // namespace testsupport
