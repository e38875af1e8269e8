#pragma once
// Where the picture sits in the editor window and how window points map to
// image pixels. Client numbers are physical pixels; the bands around the
// picture are in units of 1/96 inch scaled by the window's DPI.

#include "editor/annotation.h"

struct ViewRect {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

struct ViewFit {
    float scale = 1.0f;  // image pixels to client pixels
    ViewRect rect;       // the shown picture in client pixels
};

inline constexpr float kToolbarBand = 112.0f;
inline constexpr float kStatusBand = 44.0f;
inline constexpr float kSideMargin = 16.0f;

// The picture scaled to fill the space between the bands, enlarged when
// small, never below 1 %.
ViewFit fitImageToView(float clientWidth, float clientHeight, int imageWidth, int imageHeight, float dpiScale);

// A client point as an image point, clamped onto the image.
MarkPoint clientToImage(float x, float y, const ViewFit& view, int imageWidth, int imageHeight);
MarkPoint imageToClient(MarkPoint point, const ViewFit& view);

// Half-open: the right and bottom edges lie outside.
bool insideShownImage(float x, float y, const ViewRect& rect);
