// Temporary: replaced by the editor subsystem.
#include "editor/editor_state.h"
void openEditor(std::unique_ptr<Gdiplus::Bitmap>) {}
LRESULT CALLBACK editorProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
