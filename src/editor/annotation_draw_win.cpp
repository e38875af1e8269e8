#include "editor/annotation_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/drawing_kit.h"
#include "editor/editor_state.h"
#include "editor/mark_geometry.h"
#include "editor/mosaic_cells.h"

using namespace Gdiplus;

namespace {

PointF pointOf(MarkPoint p) {
    return PointF(p.x, p.y);
}

void drawArrow(Graphics& graphics, Pen& pen, const Annotation& mark) {
    graphics.DrawLine(&pen, mark.x1, mark.y1, mark.x2, mark.y2);
    auto head = arrowHead(mark);
    PointF corners[3] = {pointOf(head[0]), pointOf(head[1]), pointOf(head[2])};
    SolidBrush brush(Color(mark.color));
    graphics.FillPolygon(&brush, corners, 3, FillModeAlternate);
}

void drawStroke(Graphics& graphics, Pen& pen, const Annotation& mark) {
    if (mark.points.size() < 2) return;
    std::vector<PointF> points;
    points.reserve(mark.points.size());
    for (MarkPoint p : mark.points) points.push_back(pointOf(p));
    graphics.DrawLines(&pen, points.data(), static_cast<INT>(points.size()));
}

void drawTextMark(Graphics& graphics, const Annotation& mark, Bitmap& base) {
    auto width = static_cast<float>(base.GetWidth());
    auto height = static_cast<float>(base.GetHeight());
    drawText(graphics, mark.text, mark.x1, mark.y1, width - mark.x1, height - mark.y1, textFontSize(mark.thickness),
             mark.color, FontStyleBold);
}

// The whole pixels under the box, kept inside the image.
Rect pixelsUnder(const MarkBox& box, Bitmap& base) {
    int left = std::max(0, static_cast<int>(std::floor(box.left)));
    int top = std::max(0, static_cast<int>(std::floor(box.top)));
    int right = std::min(static_cast<int>(base.GetWidth()), static_cast<int>(std::ceil(box.left + box.width)));
    int bottom = std::min(static_cast<int>(base.GetHeight()), static_cast<int>(std::ceil(box.top + box.height)));
    return Rect(left, top, right - left, bottom - top);
}

// One pixel per cell, each the average of the base image under that cell.
bool reduceToCells(Bitmap& base, const Rect& area, MosaicGrid grid, Bitmap& cells) {
    BitmapData source{};
    Rect sourceArea = area;
    if (base.LockBits(&sourceArea, ImageLockModeRead, PixelFormat32bppARGB, &source) != Ok) return false;
    auto colours = averageMosaicCells(static_cast<const std::uint8_t*>(source.Scan0), source.Stride,
                                      static_cast<int>(source.Width), static_cast<int>(source.Height), grid);
    base.UnlockBits(&source);

    BitmapData target{};
    Rect whole(0, 0, grid.columns, grid.rows);
    if (cells.LockBits(&whole, ImageLockModeWrite, PixelFormat32bppARGB, &target) != Ok) return false;
    for (int row = 0; row < grid.rows; ++row) {
        std::memcpy(static_cast<std::uint8_t*>(target.Scan0) + static_cast<std::ptrdiff_t>(row) * target.Stride,
                    colours.data() + static_cast<std::size_t>(row) * grid.columns, grid.columns * 4u);
    }
    cells.UnlockBits(&target);
    return true;
}

void drawMosaic(Graphics& graphics, const Annotation& mark, Bitmap& base) {
    MarkBox box = normalisedBox(mark);
    auto grid = mosaicGrid(box);
    if (!grid) return;
    Rect area = pixelsUnder(box, base);
    if (area.Width < grid->columns || area.Height < grid->rows) return;
    Bitmap cells(grid->columns, grid->rows, PixelFormat32bppARGB);
    if (!reduceToCells(base, area, *grid, cells)) return;

    // Cells are enlarged without smoothing; the half-pixel offset keeps the
    // outer cells as wide as the inner ones, and clamped edges keep them from
    // fading at the border of the box.
    InterpolationMode keptInterpolation = graphics.GetInterpolationMode();
    PixelOffsetMode keptOffset = graphics.GetPixelOffsetMode();
    graphics.SetInterpolationMode(InterpolationModeNearestNeighbor);
    graphics.SetPixelOffsetMode(PixelOffsetModeHalf);
    ImageAttributes edges;
    edges.SetWrapMode(WrapModeTileFlipXY);
    graphics.DrawImage(&cells, RectF(box.left, box.top, box.width, box.height), 0.0f, 0.0f,
                       static_cast<REAL>(grid->columns), static_cast<REAL>(grid->rows), UnitPixel, &edges);
    graphics.SetPixelOffsetMode(keptOffset);
    graphics.SetInterpolationMode(keptInterpolation);
}

}  // namespace

void drawAnnotation(Graphics& graphics, const Annotation& mark) {
    Pen pen(Color(mark.color), mark.thickness);
    pen.SetStartCap(LineCapRound);
    pen.SetEndCap(LineCapRound);
    pen.SetLineJoin(LineJoinRound);
    Bitmap* base = editorState.baseImage.get();
    switch (mark.kind) {
    case AnnotationKind::Arrow:
        drawArrow(graphics, pen, mark);
        break;
    case AnnotationKind::Frame: {
        MarkBox box = normalisedBox(mark);
        graphics.DrawRectangle(&pen, box.left, box.top, box.width, box.height);
        break;
    }
    case AnnotationKind::Line:
        graphics.DrawLine(&pen, mark.x1, mark.y1, mark.x2, mark.y2);
        break;
    case AnnotationKind::Pen:
        drawStroke(graphics, pen, mark);
        break;
    case AnnotationKind::Text:
        if (base) drawTextMark(graphics, mark, *base);
        break;
    case AnnotationKind::Mosaic:
        if (base) drawMosaic(graphics, mark, *base);
        break;
    default:
        break;  // an unknown kind draws nothing
    }
}
