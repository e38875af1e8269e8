#include "capture/screen_copy_win.h"

#include "app/win_handles.h"

VirtualScreen readVirtualScreen() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::unique_ptr<Gdiplus::Bitmap> copyScreen(const VirtualScreen& area) {
    ScreenDc screen;
    MemoryDc memory(CreateCompatibleDC(screen.get()));
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), area.width, area.height));
    if (!memory || !bitmap) return nullptr;

    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    BOOL copied = BitBlt(memory.get(), 0, 0, area.width, area.height, screen.get(), area.left, area.top,
                         SRCCOPY | CAPTUREBLT);
    SelectObject(memory.get(), previous);
    if (!copied) return nullptr;

    // The GDI+ bitmap keeps its own copy of the pixels; the GDI one goes.
    std::unique_ptr<Gdiplus::Bitmap> image(new Gdiplus::Bitmap(bitmap.get(), nullptr));
    if (!image || image->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return image;
}
