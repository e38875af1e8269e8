#pragma once
// What the editor shows at the window's size, kept between repaints: the
// dark background with the base image scaled into its place, a copy of it
// with the marks of the list drawn on, and the frame a paint composes. The
// scaled picture is made again only when the client size, the place of the
// picture or the base image changes. A mark added to the list (or redone)
// is drawn onto the marked copy alone, the pixels under it kept aside first;
// undoing it puts those back. Other marks taken off give their area back
// from the scaled picture, and only the remaining marks that reach into it
// are drawn there again. A repaint while a mark is dragged, or right after a
// change, so costs much the same however many marks there are.

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <span>

#include "app/win_handles.h"
#include "editor/annotation.h"
#include "editor/view_fit.h"

// width × height pixels; `view` is where the picture goes (unused without a
// base image). Null when the memory for it cannot be had: nothing is kept
// then, and the next call tries again.
const DibCanvas* shownPicture(int width, int height, const ViewFit& view);

// Drops what is kept; called whenever the base image changes.
void forgetShownPicture();

// The last exact picture as kept: the background with the scaled picture,
// the same with `marks` drawn on it, and the place of the picture in both.
// Null canvases when nothing is kept or there is no base image.
struct KeptPicture {
    const DibCanvas* plain = nullptr;
    const DibCanvas* marked = nullptr;
    ViewRect rect;
    std::span<const Annotation> marks;
};
KeptPicture keptPicture();

// A canvas of at least width × height for a paint to compose its frame on,
// kept while the size changes little; null when it cannot be had.
DibCanvas* frameCanvas(int width, int height);

// Draws marks in image pixels onto the view, clipped to the shown picture
// (and to any clip the graphics already has).
void drawMarksInView(Gdiplus::Graphics& graphics, const ViewFit& view, std::span<const Annotation> marks);

// The background with the base image scaled into its place and every mark
// of the list, in one pass on any surface: for when nothing can be kept.
void drawWholePicture(Gdiplus::Graphics& graphics, int width, int height, const ViewFit& view);

// Makes the client-sized canvases the editor paints through; replaceable so
// tests can refuse them. A canvas that is not valid counts as refused.
using CanvasMaker = std::unique_ptr<DibCanvas> (*)(int width, int height);
extern CanvasMaker makeEditorCanvas;
