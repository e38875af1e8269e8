#pragma once
#include <windows.h>
#include <gdiplus.h>

// The page layer's fixed size in pixels; page contents are laid out in it
// at 96 dpi and scaled with the rest of the window when composed.
inline constexpr int kPageLayerWidth = 380;
inline constexpr int kPageLayerHeight = 440;

// Draws the accent dot and the elements of one page (0 to 4) from the
// current application state.
void drawPageLayer(Gdiplus::Graphics& layer, int page);
