// The owner-drawn buttons of the main window and the editor.

#include "app/app_state.h"
#include "app/button_look.h"
#include "app/command_ids.h"
#include "app/controls.h"
#include "app/drawing_kit.h"
#include "app/drawing_kit_canvas.h"
#include "editor/editor_state.h"

namespace {

using Gdiplus::Color;
using Gdiplus::Graphics;
using Gdiplus::PointF;
using Gdiplus::RectF;

constexpr Gdiplus::ARGB kPressedFace = 0xFF464646;
constexpr Gdiplus::ARGB kSelectedToolFace = 0xFF383838;
constexpr Gdiplus::ARGB kOrdinaryFace = 0xFF202020;
constexpr Gdiplus::ARGB kTabHighlight = 0xFF1D1D1D;
constexpr float kIconPenWidth = 1.7f;

Gdiplus::ARGB faceColor(ButtonFace face) {
    switch (face) {
    case ButtonFace::Pressed:
        return kPressedFace;
    case ButtonFace::Primary:
        return lightColor;
    case ButtonFace::SelectedTool:
        return kSelectedToolFace;
    case ButtonFace::Ordinary:
        break;
    }
    return kOrdinaryFace;
}

void drawCaption(Graphics& graphics, const std::wstring& text, const RectF& box, float size, Gdiplus::ARGB color,
                 Gdiplus::StringAlignment lineAlignment) {
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(lineAlignment);
    drawLabel(graphics, text, box, size, color, Gdiplus::FontStyleRegular, format);
}

// The label box of a push button. A one-glyph label ("−", "×") is centred
// in the whole face instead: the centre is the same, but a face whose glyph
// is wider than the narrow box less GDI+'s margins would otherwise lay out
// no character at all.
RectF labelBox(const std::wstring& text, const Gdiplus::SizeF& size) {
    if (text.size() == 1) return RectF(0, 0, size.Width, size.Height);
    return RectF(4, 0, size.Width - 8, size.Height);
}

void drawLightningIcon(Graphics& graphics, Gdiplus::Brush& brush) {
    const PointF bolt[] = {{34, 6}, {26, 15}, {32, 15}, {30, 21}, {38, 11}, {32, 11}};
    graphics.FillPolygon(&brush, bolt, 6, Gdiplus::FillModeAlternate);
}

void drawChartIcon(Graphics& graphics, Gdiplus::Pen& pen) {
    const PointF chart[] = {{25, 18}, {30, 13}, {34, 15}, {39, 8}};
    graphics.DrawLines(&pen, chart, 4);
    graphics.DrawLine(&pen, 34.0f, 8.0f, 39.0f, 8.0f);
    graphics.DrawLine(&pen, 39.0f, 8.0f, 39.0f, 13.0f);
}

void drawStarIcon(Graphics& graphics, Gdiplus::Pen& pen) {
    graphics.DrawLine(&pen, 26.0f, 7.0f, 38.0f, 19.0f);
    graphics.DrawLine(&pen, 26.0f, 19.0f, 38.0f, 7.0f);
    graphics.DrawLine(&pen, 24.0f, 13.0f, 40.0f, 13.0f);
    graphics.DrawLine(&pen, 32.0f, 5.0f, 32.0f, 21.0f);
}

void drawBellIcon(Graphics& graphics, Gdiplus::Pen& pen) {
    graphics.DrawArc(&pen, 27.0f, 7.0f, 10.0f, 10.0f, 180.0f, 180.0f);
    graphics.DrawLine(&pen, 27.0f, 12.0f, 27.0f, 17.0f);
    graphics.DrawLine(&pen, 37.0f, 12.0f, 37.0f, 17.0f);
    graphics.DrawLine(&pen, 25.0f, 17.0f, 39.0f, 17.0f);
    graphics.DrawLine(&pen, 31.0f, 20.0f, 33.0f, 20.0f);
}

void drawPersonIcon(Graphics& graphics, Gdiplus::Pen& pen) {
    graphics.DrawEllipse(&pen, 29.0f, 6.0f, 6.0f, 6.0f);
    graphics.DrawArc(&pen, 26.0f, 14.0f, 12.0f, 12.0f, 180.0f, 180.0f);
}

void drawTabIcon(Graphics& graphics, int tab, Gdiplus::ARGB color) {
    Gdiplus::SolidBrush brush{Color(color)};
    Gdiplus::Pen pen(Color(color), kIconPenWidth);
    switch (tab) {
    case 0:
        drawLightningIcon(graphics, brush);
        break;
    case 1:
        drawChartIcon(graphics, pen);
        break;
    case 2:
        drawStarIcon(graphics, pen);
        break;
    case 3:
        drawBellIcon(graphics, pen);
        break;
    default:
        drawPersonIcon(graphics, pen);
        break;
    }
}

}  // namespace

void drawButton(const DRAWITEMSTRUCT& item) {
    int id = static_cast<int>(item.CtlID);
    if (isTabButton(id)) {
        drawTabButton(item);
        return;
    }
    Graphics graphics(item.hDC);
    Gdiplus::SizeF size = prepareButtonCanvas(graphics, item);
    bool pressed = (item.itemState & ODS_SELECTED) != 0;
    ButtonFace face = buttonFace(id, pressed, static_cast<int>(editorState.tool));
    fillRoundRect(graphics, RectF(0, 0, size.Width, size.Height), faceColor(face), 10.0f);
    Gdiplus::ARGB label = hasDarkLabel(id) ? backgroundColor : textColor;
    std::wstring text = readWindowText(item.hwndItem);
    drawCaption(graphics, text, labelBox(text, size), 13.0f, label, Gdiplus::StringAlignmentCenter);
    if (id == ID_COLOR) {
        fillRoundRect(graphics, RectF(12, size.Height - 6, size.Width - 24, 3), editorState.color, 2.0f);
    }
    if (item.itemState & ODS_FOCUS) drawFocusFrame(graphics, RectF(3, 3, size.Width - 6, size.Height - 6), lightColor);
}

void drawTabButton(const DRAWITEMSTRUCT& item) {
    int tab = static_cast<int>(item.CtlID) - ID_PAGE_FIRST;
    Graphics graphics(item.hDC);
    prepareButtonCanvas(graphics, item);
    fillRoundRect(graphics, RectF(tabHighlightX(app.indicatorPos, tab), 0, kTabWidth, kTabHeight), kTabHighlight,
                  14.0f);
    Gdiplus::ARGB color = tab == app.currentPage ? textColor : mutedColor;
    drawTabIcon(graphics, tab, color);
    drawCaption(graphics, readWindowText(item.hwndItem), RectF(0, 26, kTabWidth, 16), 10.5f, color, Gdiplus::StringAlignmentNear);
    if (item.itemState & ODS_FOCUS) drawFocusFrame(graphics, RectF(3, 3, 58, 37), mutedColor);
}
