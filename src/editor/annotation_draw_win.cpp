#include "editor/annotation_draw.h"

#include <cstdint>
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

// The average colour of every cell, row by row; empty when the base image
// cannot be read.
std::vector<std::uint32_t> cellColours(Bitmap& base, const PixelArea& area, MosaicGrid grid) {
    BitmapData source{};
    Rect sourceArea(area.left, area.top, area.width, area.height);
    if (base.LockBits(&sourceArea, ImageLockModeRead, PixelFormat32bppARGB, &source) != Ok) return {};
    auto colours = averageMosaicCells(static_cast<const std::uint8_t*>(source.Scan0), source.Stride,
                                      static_cast<int>(source.Width), static_cast<int>(source.Height), grid);
    base.UnlockBits(&source);
    return colours;
}

// Every cell a hard-edged rectangle on whole image pixels. Without smoothing
// and with pixel centres at half pixels, each pixel belongs to exactly one
// cell at any zoom: no seams between cells and no blur at their edges.
void fillCells(Graphics& graphics, const PixelArea& area, MosaicGrid grid, const std::vector<std::uint32_t>& colours) {
    SmoothingMode keptSmoothing = graphics.GetSmoothingMode();
    PixelOffsetMode keptOffset = graphics.GetPixelOffsetMode();
    graphics.SetSmoothingMode(SmoothingModeNone);
    graphics.SetPixelOffsetMode(PixelOffsetModeHalf);
    SolidBrush brush(Color(0));
    for (int row = 0; row < grid.rows; ++row) {
        CellSpan down = cellSpan(area.top, area.height, grid.rows, row);
        for (int column = 0; column < grid.columns; ++column) {
            CellSpan across = cellSpan(area.left, area.width, grid.columns, column);
            brush.SetColor(Color(colours[static_cast<std::size_t>(row) * grid.columns + column]));
            graphics.FillRectangle(&brush, across.first, down.first, across.last - across.first,
                                   down.last - down.first);
        }
    }
    graphics.SetPixelOffsetMode(keptOffset);
    graphics.SetSmoothingMode(keptSmoothing);
}

void drawMosaic(Graphics& graphics, const Annotation& mark, Bitmap& base) {
    MarkBox box = normalisedBox(mark);
    auto grid = mosaicGrid(box);
    if (!grid) return;
    PixelArea area = pixelsInside(box, static_cast<int>(base.GetWidth()), static_cast<int>(base.GetHeight()));
    if (area.width < grid->columns || area.height < grid->rows) return;
    std::vector<std::uint32_t> colours = cellColours(base, area, *grid);
    if (!colours.empty()) fillCells(graphics, area, *grid, colours);
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
