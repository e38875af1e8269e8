// Holds the Print Screen hot key for another process's test: registers it,
// signals the event named on the command line, then waits until killed.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    if (!RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_SNAPSHOT)) return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (!ready) return 4;
    SetEvent(ready);
    CloseHandle(ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    }
    return 0;
}
