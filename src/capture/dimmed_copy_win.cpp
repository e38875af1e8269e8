#include "capture/dimmed_copy_win.h"

#include "capture/overlay_paint_win.h"

bool DimmedCopy::make(Gdiplus::Bitmap& screen) {
    reset();
    int width = static_cast<int>(screen.GetWidth());
    int height = static_cast<int>(screen.GetHeight());
    auto canvas = std::make_unique<DibCanvas>(width, height);
    if (!canvas->valid()) return false;
    {
        Gdiplus::Graphics graphics(canvas->dc());
        prepareForCopies(graphics);
        drawScreenCopy(graphics, screen);
        drawDimming(graphics, width, height);
    }
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
