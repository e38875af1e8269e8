#pragma once
// Pictures and marks for the editor's Windows tests, and the GDI+ session
// they run in.

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>

#include "editor/annotation.h"

namespace editortest {

std::unique_ptr<Gdiplus::Bitmap> filledPicture(int width, int height, std::uint32_t argb);
// Every pixel differs from its neighbours: red follows x, green follows y,
// blue mixes both.
std::unique_ptr<Gdiplus::Bitmap> patternedPicture(int width, int height);
std::uint32_t patternColour(int x, int y);

std::uint32_t pixel(Gdiplus::Bitmap& bitmap, int x, int y);

Annotation mark(AnnotationKind kind, float x1, float y1, float x2, float y2, std::uint32_t color,
                float thickness = 4);

// Pixels of `colour` inside the rectangle [left, right) × [top, bottom).
int countColour(Gdiplus::Bitmap& bitmap, std::uint32_t colour, int left, int top, int right, int bottom);

}  // namespace editortest
