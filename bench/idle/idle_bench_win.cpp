// The shipped program at rest: starts the Clipvane.exe named on the command
// line (the release build's, say), waits until its main window is up and a
// few seconds more, and prints the file's size, the process's working set
// and its private bytes. Then it ends the process it started.

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../support/process_memory_win.h"

namespace {

constexpr DWORD kSettleMs = 4000;

bool mainWindowShown(DWORD processId) {
    for (HWND window = FindWindowW(L"ClipvaneMain", nullptr); window;
         window = FindWindowExW(nullptr, window, L"ClipvaneMain", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return true;
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: idle_bench PATH\\Clipvane.exe\n");
        return 2;
    }
    std::wstring path = argv[1];
    std::error_code error;
    auto bytes = std::filesystem::file_size(path, error);
    if (error) {
        std::printf("cannot read the size of the program\n");
        return 1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring command = L"\"" + path + L"\"";
    if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        std::printf("cannot start the program\n");
        return 1;
    }
    for (int wait = 0; wait < 200 && !mainWindowShown(started.dwProcessId); ++wait) Sleep(50);
    Sleep(kSettleMs);
    MemoryFigures idle = memoryOf(started.hProcess);
    std::printf("Clipvane.exe %llu bytes; idle: working set %.1f MB, private bytes %.1f MB\n",
                static_cast<unsigned long long>(bytes), idle.workingSetMb, idle.privateMb);
    TerminateProcess(started.hProcess, 0);
    WaitForSingleObject(started.hProcess, 10000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}
