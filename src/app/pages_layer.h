#pragma once
#include <windows.h>
#include <gdiplus.h>

#include <string>

// Draws the accent dot and the elements of one page (0 to 4) from the
// current application state.
void drawPageLayer(Gdiplus::Graphics& layer, int page);

// One text element: its box in units, em size in pixels, colour and style.
struct TextBox {
    float x, y, width, height, size;
    Gdiplus::ARGB color;
    int style = Gdiplus::FontStyleRegular;
};

// drawText clipped to its box, so that no text reaches a neighbour: a last
// line that fits only in part is cut at the box edge (Wine's GDI+ would
// draw it whole, past the box).
void drawBoxedText(Gdiplus::Graphics& graphics, const std::wstring& text, const TextBox& box);
