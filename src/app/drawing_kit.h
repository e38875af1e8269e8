#pragma once
// The shared look: palette, rounded boxes, text and the owner-drawn buttons.
// Numbers are in units of 1/96 inch unless a caller draws unscaled.

#include <windows.h>
#include <gdiplus.h>

#include <string>

inline constexpr Gdiplus::ARGB backgroundColor = 0xFF111111;
inline constexpr Gdiplus::ARGB mutedColor = 0xFF8F8F8F;
inline constexpr Gdiplus::ARGB textColor = 0xFFE7E7E7;
inline constexpr Gdiplus::ARGB lightColor = 0xFFE5E5E5;
inline constexpr Gdiplus::ARGB pageAccentColors[5] = {0xFFF02163, 0xFF00D3A4, 0xFF00B5E5, 0xFFFF8800, 0xFF8F42E7};

void fillRoundRect(Gdiplus::Graphics& graphics, const Gdiplus::RectF& box, Gdiplus::ARGB color, float radius);

// Text from the top left of its box, wrapped at words, cut with an ellipsis
// at a word. "Segoe UI" when installed, the generic sans-serif otherwise.
void drawText(Gdiplus::Graphics& graphics, const std::wstring& text, float x, float y, float width, float height,
              float size, Gdiplus::ARGB color, int style);

// WM_DRAWITEM of the main window and the editor; tab buttons go to
// drawTabButton.
void drawButton(const DRAWITEMSTRUCT& item);
void drawTabButton(const DRAWITEMSTRUCT& item);
