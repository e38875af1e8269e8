#pragma once
// Copying the screen into a GDI+ bitmap, in physical pixels: 32-bit RGB in
// a DIB section that the bitmap owns, copied into once and read in place.

#include <windows.h>
#include <gdiplus.h>

#include <memory>

#include "app/app_state.h"
#include "capture/selection_geometry.h"

// The bounding rectangle of all monitors as the system reports it now.
VirtualScreen readVirtualScreen();

// The given screen rectangle (layered windows included), its pixel (0, 0)
// being the screen point (left, top). Null when the copy or the bitmap fails.
std::unique_ptr<Gdiplus::Bitmap> copyScreen(const VirtualScreen& area);

// A device context over the pixels of a bitmap copyScreen made, for plain
// GDI copies out of it; null for any other bitmap.
HDC screenCopyDc(Gdiplus::Bitmap& copy);

inline PixelRect pixelRect(const VirtualScreen& screen) {
    return {screen.left, screen.top, screen.width, screen.height};
}
