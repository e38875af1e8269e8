#include "editor/annotation_draw.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "app/drawing_kit.h"
#include "editor/bitmap_lock_win.h"
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
    BitmapLock source(base, ImageLockModeRead, Rect(area.left, area.top, area.width, area.height));
    if (!source.locked()) return {};
    return averageMosaicCells(source.bytes(), source.stride(), source.width(), source.height(), grid);
}

// The cells at the size of the pixels they cover, one colour each.
std::unique_ptr<Bitmap> cellPicture(const PixelArea& area, MosaicGrid grid, const std::vector<std::uint32_t>& colours) {
    auto picture = std::make_unique<Bitmap>(area.width, area.height, PixelFormat32bppARGB);
    {
        BitmapLock target(*picture, ImageLockModeWrite);
        if (!target.locked()) return nullptr;
        fillMosaicCells(target.bytes(), target.stride(), area.width, area.height, grid, colours);
    }
    return picture;
}

// One image pixel on one image pixel, so each pixel keeps its own cell's
// colour; enlarged or reduced in the view without smoothing.
void drawOnItsPixels(Graphics& graphics, Bitmap& cells, const PixelArea& area) {
    InterpolationMode keptInterpolation = graphics.GetInterpolationMode();
    PixelOffsetMode keptOffset = graphics.GetPixelOffsetMode();
    graphics.SetInterpolationMode(InterpolationModeNearestNeighbor);
    graphics.SetPixelOffsetMode(PixelOffsetModeHalf);
    auto width = static_cast<REAL>(area.width), height = static_cast<REAL>(area.height);
    graphics.DrawImage(&cells, RectF(static_cast<REAL>(area.left), static_cast<REAL>(area.top), width, height), 0.0f,
                       0.0f, width, height, UnitPixel);
    graphics.SetPixelOffsetMode(keptOffset);
    graphics.SetInterpolationMode(keptInterpolation);
}

void drawMosaic(Graphics& graphics, const Annotation& mark, Bitmap& base) {
    MarkBox box = normalisedBox(mark);
    auto grid = mosaicGrid(box);
    if (!grid) return;
    PixelArea area = pixelsInside(box, static_cast<int>(base.GetWidth()), static_cast<int>(base.GetHeight()));
    if (area.width < grid->columns || area.height < grid->rows) return;
    std::vector<std::uint32_t> colours = cellColours(base, area, *grid);
    if (colours.empty()) return;
    if (auto cells = cellPicture(area, *grid, colours)) drawOnItsPixels(graphics, *cells, area);
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
