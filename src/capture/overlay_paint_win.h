#pragma once
// One paint of the selection overlay, step by step, in the order drawn:
// the screen copy, the dimming layer, the bright selected area, its frame,
// and the size label (or, before a drag, the hint).

#include <windows.h>
#include <gdiplus.h>

#include "capture/dimmed_copy_win.h"
#include "capture/dimming.h"
#include "capture/selection_geometry.h"

inline constexpr Gdiplus::ARGB kDimColor = kDimAlpha << 24;
inline constexpr float kFrameWidth = 2.0f;
inline constexpr float kHintTextSize = 20.0f;
inline constexpr float kLabelTextSize = 18.0f;

// Whole-image copies are opaque 1:1 blits: no blending, no filtering.
void prepareForCopies(Gdiplus::Graphics& graphics);

void drawScreenCopy(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& screen);
void drawDimming(Gdiplus::Graphics& graphics, int width, int height);
void drawBrightArea(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& screen, const PixelRect& area);
void drawSelectionFrame(Gdiplus::Graphics& graphics, const PixelRect& area);
void drawSizeLabel(Gdiplus::Graphics& graphics, const OverlayScene& scene);
void drawHint(Gdiplus::Graphics& graphics, PixelPoint origin);

// The whole paint. A dimmed copy that holds pixels stands for the first two
// steps; an empty one leaves them to be drawn.
void drawOverlay(Gdiplus::Graphics& graphics, const OverlayScene& scene, Gdiplus::Bitmap& screen,
                 const DimmedCopy& dimmed, int width, int height);
