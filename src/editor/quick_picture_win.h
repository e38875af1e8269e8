#pragma once
// The picture of a quick frame, while the window's frame is dragged. GDI
// stretches the base image into the view with halftoning, reading its pixels
// where they are, and the marks of the last exact picture, lifted off it
// once, are stretched over it: scaling the picture exactly and drawing every
// mark again with GDI+ takes many times longer, and the rough frame only
// lasts until the size stops changing.

#include <windows.h>

#include "editor/view_fit.h"

// What a frame holds before GDI+ draws on it.
enum class FrameStart { Empty, Picture, PictureWithMarks };

// Fills width × height of `target` with the background and puts the picture
// in the view, with its marks when they could be lifted off the last exact
// picture. Empty: nothing could be drawn this way.
FrameStart drawQuickPicture(HDC target, int width, int height, const ViewFit& view);

// Drops the marks lifted off, kept from the first quick frame of a resize
// until the resize ends.
void forgetQuickPicture();
