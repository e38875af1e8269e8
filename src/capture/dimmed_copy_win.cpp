#include "capture/dimmed_copy_win.h"

#include "capture/dimming.h"
#include "editor/bitmap_lock_win.h"

bool DimmedCopy::make(Gdiplus::Bitmap& screen) {
    reset();
    int width = static_cast<int>(screen.GetWidth());
    int height = static_cast<int>(screen.GetHeight());
    // The screen copy's own format: its pixels are read where they lie.
    BitmapLock pixels(screen, Gdiplus::ImageLockModeRead, Gdiplus::Rect(0, 0, width, height), PixelFormat32bppRGB);
    auto canvas = std::make_unique<DibCanvas>(width, height);
    if (!pixels.locked() || !canvas->valid()) return false;
    dimPixels(pixels.bytes(), pixels.stride(), reinterpret_cast<std::uint8_t*>(canvas->pixels()), canvas->stride(),
              width, height);
    canvas_ = std::move(canvas);
    return true;
}

bool DimmedCopy::draw(Gdiplus::Graphics& graphics) const {
    if (!canvas_) return false;
    HDC target = graphics.GetHDC();
    BitBlt(target, 0, 0, canvas_->width(), canvas_->height(), canvas_->dc(), 0, 0, SRCCOPY);
    graphics.ReleaseHDC(target);
    return true;
}
