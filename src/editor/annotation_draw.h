#pragma once
// Paints one mark, in pixels of the base image, onto any GDI+ surface. The
// caller sets the transform, the clip and the smoothing; a mosaic changes
// the interpolation and pixel offset for its cells and sets them back. Text
// and mosaic read the editor's base image, which must exist.

#include <windows.h>
#include <gdiplus.h>

#include "editor/annotation.h"

void drawAnnotation(Gdiplus::Graphics& graphics, const Annotation& mark);
