#pragma once
// The screen copy with the dimming layer already laid on, made once when
// the overlay opens, worked out on the pixels rather than blended by GDI+.
// A repaint during a drag then puts it on the window with one plain copy
// instead of blending a half-transparent layer over the whole screen every
// time. The pixels live in a GDI section: the cheapest thing to copy onto a
// window, and nothing of GDI+ outlives its shutdown if the program ends with
// the overlay open.

#include <windows.h>
#include <gdiplus.h>

#include <memory>

#include "app/win_handles.h"

class DimmedCopy {
public:
    // The screen copy dimmed into a bitmap of its own, the same picture a
    // paint blending the dimming on the window shows. False, and empty,
    // when the memory for it cannot be had.
    bool make(Gdiplus::Bitmap& screen);
    void reset() { canvas_.reset(); }
    // Copies it onto the graphics' device at (0, 0); false when empty.
    bool draw(Gdiplus::Graphics& graphics) const;

private:
    std::unique_ptr<DibCanvas> canvas_;
};
