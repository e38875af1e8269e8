#include "capture/screen_copy_win.h"

#include "app/win_handles.h"

namespace {

// The pixels of a screen copy, in a DIB section that GDI copies the screen
// straight into.
class ScreenPixels {
protected:
    explicit ScreenPixels(const VirtualScreen& area) : pixels_(area.width, area.height) {}
    DibCanvas pixels_;
};

// A GDI+ picture over the DIB section it owns, so the screen is copied
// once and never converted. The pixels are the first base: they are made
// before the picture over them and outlive it.
class ScreenBitmap final : private ScreenPixels, public Gdiplus::Bitmap {
public:
    explicit ScreenBitmap(const VirtualScreen& area)
        : ScreenPixels(area),
          Bitmap(pixels_.valid() ? area.width : 0, area.height, pixels_.stride(), PixelFormat32bppRGB,
                 reinterpret_cast<BYTE*>(pixels_.pixels())) {}

    bool valid() const { return pixels_.valid() && GetLastStatus() == Gdiplus::Ok; }
    HDC dc() const { return pixels_.dc(); }
};

}  // namespace

VirtualScreen readVirtualScreen() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::unique_ptr<Gdiplus::Bitmap> copyScreen(const VirtualScreen& area) {
    auto copy = std::make_unique<ScreenBitmap>(area);
    if (!copy->valid()) return nullptr;
    ScreenDc screen;
    if (!BitBlt(copy->dc(), 0, 0, area.width, area.height, screen.get(), area.left, area.top,
                SRCCOPY | CAPTUREBLT)) {
        return nullptr;
    }
    GdiFlush();  // GDI+ reads the section's memory directly
    return copy;
}

HDC screenCopyDc(Gdiplus::Bitmap& copy) {
    auto* screen = dynamic_cast<ScreenBitmap*>(&copy);
    return screen ? screen->dc() : nullptr;
}
