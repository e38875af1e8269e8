#pragma once
// Pieces shared by the text and button routines of the drawing kit.

#include <windows.h>
#include <gdiplus.h>

#include <string>

// Draws text in the interface face ("Segoe UI", else the generic
// sans-serif) at an em size in pixels of the graphics' unit space.
void drawLabel(Gdiplus::Graphics& graphics, const std::wstring& text, const Gdiplus::RectF& box, float size,
               Gdiplus::ARGB color, int style, const Gdiplus::StringFormat& format);

// Clears an owner-drawn control to the background, turns on anti-aliasing
// and sets units of 1/96 inch; returns the control's size in those units.
Gdiplus::SizeF prepareButtonCanvas(Gdiplus::Graphics& graphics, const DRAWITEMSTRUCT& item);

void drawFocusFrame(Gdiplus::Graphics& graphics, const Gdiplus::RectF& frame, Gdiplus::ARGB color);
