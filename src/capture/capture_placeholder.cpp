// Temporary: replaced by the capture subsystem.
#include "capture/capture.h"
void startCapture(bool) {}
LRESULT CALLBACK overlayProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
