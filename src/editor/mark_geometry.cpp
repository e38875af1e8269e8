#include "editor/mark_geometry.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace {
constexpr float kHeadHalfAngle = 0.48f;  // radians between the shaft and each side of the head
constexpr float kMosaicCell = 14.0f;
}  // namespace

MarkBox normalisedBox(const Annotation& mark) {
    return {std::min(mark.x1, mark.x2), std::min(mark.y1, mark.y2), std::fabs(mark.x2 - mark.x1),
            std::fabs(mark.y2 - mark.y1)};
}

float arrowHeadLength(float thickness) {
    return std::max(4.0f * thickness, 14.0f);
}

std::array<MarkPoint, 3> arrowHead(const Annotation& mark) {
    float direction = std::atan2(mark.y2 - mark.y1, mark.x2 - mark.x1);
    float length = arrowHeadLength(mark.thickness);
    auto corner = [&](float angle) {
        return MarkPoint{mark.x2 - length * std::cos(angle), mark.y2 - length * std::sin(angle)};
    };
    return {MarkPoint{mark.x2, mark.y2}, corner(direction - kHeadHalfAngle), corner(direction + kHeadHalfAngle)};
}

float textFontSize(float thickness) {
    return 2.0f * thickness + 18.0f;
}

namespace {

// The box around the points (at least one), grown on every side by `margin`.
MarkBox boxAround(std::span<const MarkPoint> points, float margin) {
    float left = points.front().x, top = points.front().y, right = left, bottom = top;
    for (MarkPoint p : points) {
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x);
        bottom = std::max(bottom, p.y);
    }
    return {left - margin, top - margin, right - left + 2 * margin, bottom - top + 2 * margin};
}

}  // namespace

MarkBox markReach(const Annotation& mark, float imageWidth, float imageHeight) {
    float halfPen = mark.thickness / 2;
    MarkPoint ends[] = {{mark.x1, mark.y1}, {mark.x2, mark.y2}};
    switch (mark.kind) {
    case AnnotationKind::Arrow: {
        auto head = arrowHead(mark);
        MarkPoint outline[] = {ends[0], head[0], head[1], head[2]};
        return boxAround(outline, halfPen);
    }
    case AnnotationKind::Frame:
    case AnnotationKind::Line:
        return boxAround(ends, halfPen);
    case AnnotationKind::Pen:
        return mark.points.size() < 2 ? MarkBox{} : boxAround(mark.points, halfPen);
    case AnnotationKind::Text: {
        // The layout box runs to the picture's edges; no glyph is wider and
        // no line taller than twice the font size, with one more character
        // for a trimming ellipsis.
        float most = 2.0f * textFontSize(mark.thickness) * static_cast<float>(mark.text.size() + 1);
        return {mark.x1, mark.y1, std::min(imageWidth - mark.x1, most), std::min(imageHeight - mark.y1, most)};
    }
    case AnnotationKind::Mosaic:
        // Its cells cover the whole pixels whose centres lie in the box.
        return mosaicGrid(normalisedBox(mark)) ? boxAround(ends, 0.5f) : MarkBox{};
    default:
        return {};
    }
}

std::optional<MosaicGrid> mosaicGrid(const MarkBox& box) {
    if (box.width < 2.0f || box.height < 2.0f) return std::nullopt;
    return MosaicGrid{std::max(static_cast<int>(box.width / kMosaicCell), 1),
                      std::max(static_cast<int>(box.height / kMosaicCell), 1)};
}

PixelArea pixelsInside(const MarkBox& box, int imageWidth, int imageHeight) {
    // Pixel i has its centre at i + 0.5; it is inside when left <= i + 0.5 < right.
    auto firstInside = [](float edge, int limit) {
        return std::clamp(static_cast<int>(std::ceil(edge - 0.5f)), 0, limit);
    };
    int left = firstInside(box.left, imageWidth), right = firstInside(box.left + box.width, imageWidth);
    int top = firstInside(box.top, imageHeight), bottom = firstInside(box.top + box.height, imageHeight);
    return {left, top, right - left, bottom - top};
}

CellSpan cellSpan(int start, int length, int count, int index) {
    auto edge = [&](int i) { return start + static_cast<int>(static_cast<long long>(length) * i / count); };
    return {edge(index), edge(index + 1)};
}
