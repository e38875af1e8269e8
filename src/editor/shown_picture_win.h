#pragma once
// What the editor shows at the window's size, kept between repaints: the
// dark background with the base image scaled into its place, and over it the
// marks of the list. The scaled picture is made again only when the client
// size, the place of the picture or the base image changes, and the marks are
// drawn again only when the list changes too, so that a repaint while a mark
// is dragged costs the same however many marks there are.

#include <windows.h>
#include <gdiplus.h>

#include <span>

#include "app/win_handles.h"
#include "editor/annotation.h"
#include "editor/view_fit.h"

// width × height pixels; `view` is where the picture goes (unused without a
// base image). May be invalid when memory ran out.
const DibCanvas& shownPicture(int width, int height, const ViewFit& view);

// Drops what is kept; called whenever the base image changes.
void forgetShownPicture();

// Draws marks in image pixels onto the view, clipped to the shown picture.
void drawMarksInView(Gdiplus::Graphics& graphics, const ViewFit& view, std::span<const Annotation> marks);
