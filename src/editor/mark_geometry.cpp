#include "editor/mark_geometry.h"

#include <algorithm>
#include <cmath>

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
