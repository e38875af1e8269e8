#include "capture/overlay_paint_win.h"

#include "app/drawing_kit.h"
#include "capture/screen_copy_win.h"

using namespace Gdiplus;

void prepareForCopies(Graphics& graphics) {
    graphics.SetInterpolationMode(InterpolationModeNearestNeighbor);
}

namespace {

// Copies an opaque picture 1:1 without reading back what lies beneath: a
// screen copy by GDI straight from its pixels, any other through GDI+, whose
// pixel offset is put back so the frame's pen lands where it always does.
void copyImage(Graphics& graphics, Bitmap& image, const PixelRect& area) {
    if (HDC source = screenCopyDc(image)) {
        HDC target = graphics.GetHDC();
        BitBlt(target, area.left, area.top, area.width, area.height, source, area.left, area.top, SRCCOPY);
        graphics.ReleaseHDC(target);
        return;
    }
    graphics.SetCompositingMode(CompositingModeSourceCopy);
    graphics.SetPixelOffsetMode(PixelOffsetModeHalf);
    graphics.DrawImage(&image, Rect(area.left, area.top, area.width, area.height), area.left, area.top, area.width,
                       area.height, UnitPixel);
    graphics.SetPixelOffsetMode(PixelOffsetModeDefault);
    graphics.SetCompositingMode(CompositingModeSourceOver);
}

PixelRect wholeImage(Bitmap& image) {
    return {0, 0, static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight())};
}

}  // namespace

void drawScreenCopy(Graphics& graphics, Bitmap& screen) {
    copyImage(graphics, screen, wholeImage(screen));
}

void drawDimming(Graphics& graphics, int width, int height) {
    SolidBrush dim{Color(kDimColor)};
    graphics.FillRectangle(&dim, 0, 0, width, height);
}

void drawBrightArea(Graphics& graphics, Bitmap& screen, const PixelRect& area) {
    copyImage(graphics, screen, area);
}

void drawSelectionFrame(Graphics& graphics, const PixelRect& area) {
    Pen frame(Color(lightColor), kFrameWidth);
    graphics.DrawRectangle(&frame, area.left, area.top, area.width, area.height);
}

void drawSizeLabel(Graphics& graphics, const OverlayScene& scene) {
    drawText(graphics, scene.label, static_cast<float>(scene.labelOrigin.x), static_cast<float>(scene.labelOrigin.y),
             kLabelBoxWidth, kLabelBoxHeight, kLabelTextSize, textColor, FontStyleRegular);
}

void drawHint(Graphics& graphics, PixelPoint origin) {
    drawText(graphics, L"Выделите область мышью • Esc — отмена", static_cast<float>(origin.x),
             static_cast<float>(origin.y), kHintBoxWidth, kHintBoxHeight, kHintTextSize, textColor,
             FontStyleRegular);
}

void drawOverlay(Graphics& graphics, const OverlayScene& scene, Bitmap& screen, const DimmedCopy& dimmed, int width,
                 int height) {
    prepareForCopies(graphics);
    if (!dimmed.draw(graphics)) {
        drawScreenCopy(graphics, screen);
        drawDimming(graphics, width, height);
    }
    if (scene.showHint) drawHint(graphics, scene.hint);
    if (!scene.showSelection) return;
    drawBrightArea(graphics, screen, scene.selection);
    drawSelectionFrame(graphics, scene.selection);
    drawSizeLabel(graphics, scene);
}
