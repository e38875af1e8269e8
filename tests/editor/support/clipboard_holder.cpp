// Holds the clipboard open, the way another busy program would, until it
// is ended.
#include <windows.h>

int wmain() {
    while (!OpenClipboard(nullptr)) Sleep(10);
    Sleep(INFINITE);
    return 0;
}
