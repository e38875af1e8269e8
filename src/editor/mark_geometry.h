#pragma once
// Shapes derived from a mark's points, shared by the painter and the tests.

#include <array>
#include <optional>

#include "editor/annotation.h"

struct MarkBox {
    float left = 0.0f;
    float top = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

// The box spanned by the two points, whichever way the drag went.
MarkBox normalisedBox(const Annotation& mark);

float arrowHeadLength(float thickness);
// Tip first, then the two back corners.
std::array<MarkPoint, 3> arrowHead(const Annotation& mark);

float textFontSize(float thickness);

// Everything drawing the mark may paint on a picture of imageWidth ×
// imageHeight, in image pixels: the stroke with its round caps and joins,
// the arrow head, as much of a text's layout box as its characters can
// fill, a mosaic's cells. Width or height 0 when the mark paints nothing.
MarkBox markReach(const Annotation& mark, float imageWidth, float imageHeight);

// Mosaic cells are at least 14 image pixels on a side and stretch to fill
// the box; a box thinner than 2 pixels has none.
struct MosaicGrid {
    int columns = 0;
    int rows = 0;
};
std::optional<MosaicGrid> mosaicGrid(const MarkBox& box);

// The whole pixels a mosaic covers: those whose centres lie inside the box,
// kept inside a picture of imageWidth × imageHeight.
struct PixelArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
PixelArea pixelsInside(const MarkBox& box, int imageWidth, int imageHeight);

// The pixel span [first, last) of cell `index` out of `count` over the
// pixels [start, start + length) of one axis.
struct CellSpan {
    int first = 0;
    int last = 0;
};
CellSpan cellSpan(int start, int length, int count, int index);
