// Holds the clipboard open, the way another busy program would, until told
// to let go. Arguments: the names of the "holding" and "release" events.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    HANDLE holding = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
    if (!holding || !release) return 3;
    if (!OpenClipboard(nullptr)) return 4;
    SetEvent(holding);
    WaitForSingleObject(release, 60000);
    CloseClipboard();
    CloseHandle(holding);
    CloseHandle(release);
    return 0;
}
