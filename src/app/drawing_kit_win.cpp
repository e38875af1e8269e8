#include "app/drawing_kit.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/drawing_kit_canvas.h"

using Gdiplus::Color;
using Gdiplus::RectF;

void fillRoundRect(Gdiplus::Graphics& graphics, const RectF& box, Gdiplus::ARGB color, float radius) {
    // The negated test also turns away NaN sizes.
    if (!(box.Width > 0.0f) || !(box.Height > 0.0f)) return;
    Gdiplus::SolidBrush brush{Color(color)};
    float d = std::min({2.0f * radius, box.Width, box.Height});
    // An arc of no size fails and would leave the whole path empty, so a box
    // without rounding is filled as a plain rectangle.
    if (!(d > 0.0f)) {
        graphics.FillRectangle(&brush, box);
        return;
    }
    float right = box.X + box.Width - d;
    float bottom = box.Y + box.Height - d;
    Gdiplus::GraphicsPath path;
    path.AddArc(box.X, box.Y, d, d, 180.0f, 90.0f);
    path.AddArc(right, box.Y, d, d, 270.0f, 90.0f);
    path.AddArc(right, bottom, d, d, 0.0f, 90.0f);
    path.AddArc(box.X, bottom, d, d, 90.0f, 90.0f);
    path.CloseFigure();
    graphics.FillPath(&brush, &path);
}

void drawLabel(Gdiplus::Graphics& graphics, const std::wstring& text, const RectF& box, float size,
               Gdiplus::ARGB color, int style, const Gdiplus::StringFormat& format) {
    Gdiplus::FontFamily named(L"Segoe UI");
    const Gdiplus::FontFamily* family =
        named.GetLastStatus() == Gdiplus::Ok ? &named : Gdiplus::FontFamily::GenericSansSerif();
    Gdiplus::Font font(family, size, style, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush{Color(color)};
    graphics.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, box, &format, &brush);
}

void drawText(Gdiplus::Graphics& graphics, const std::wstring& text, float x, float y, float width, float height,
              float size, Gdiplus::ARGB color, int style) {
    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
    format.SetAlignment(Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(Gdiplus::StringAlignmentNear);
    drawLabel(graphics, text, RectF(x, y, width, height), size, color, style, format);
}

Gdiplus::SizeF prepareButtonCanvas(Gdiplus::Graphics& graphics, const DRAWITEMSTRUCT& item) {
    float scale = layoutDpi(GetParent(item.hwndItem)) / 96.0f;
    if (!(scale > 0.0f)) scale = 1.0f;  // a window gone away reports no DPI
    graphics.Clear(Color(backgroundColor));
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.ScaleTransform(scale, scale, Gdiplus::MatrixOrderPrepend);
    float width = static_cast<float>(item.rcItem.right - item.rcItem.left) / scale;
    float height = static_cast<float>(item.rcItem.bottom - item.rcItem.top) / scale;
    return Gdiplus::SizeF(width, height);
}

void drawFocusFrame(Gdiplus::Graphics& graphics, const RectF& frame, Gdiplus::ARGB color) {
    Gdiplus::Pen pen{Color(color), 1.0f};
    graphics.DrawRectangle(&pen, frame);
}
