#include "capture/selection_geometry.h"

#include <algorithm>
#include <cstdlib>

PixelPoint mousePoint(std::uintptr_t lParam) {
    auto low = static_cast<std::int16_t>(lParam & 0xFFFF);
    auto high = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    return {low, high};
}

PixelPoint clampToScreen(PixelPoint point, int screenWidth, int screenHeight) {
    return {std::clamp(point.x, 0, std::max(screenWidth, 0)), std::clamp(point.y, 0, std::max(screenHeight, 0))};
}

PixelRect selectionRect(PixelPoint start, PixelPoint end) {
    return {std::min(start.x, end.x), std::min(start.y, end.y), std::abs(end.x - start.x),
            std::abs(end.y - start.y)};
}

std::optional<PixelRect> acceptedArea(PixelPoint start, PixelPoint end) {
    PixelRect area = selectionRect(start, end);
    if (area.width < kMinimumSelection || area.height < kMinimumSelection) return std::nullopt;
    return area;
}

std::wstring sizeLabelText(int width, int height) {
    return std::to_wstring(width) + L" \u00D7 " + std::to_wstring(height);
}

PixelPoint sizeLabelOrigin(const PixelRect& selection) {
    return {selection.left + kLabelInset, std::max(selection.top - kLabelAbove, 0)};
}

PixelPoint hintOrigin(PixelPoint cursor, const PixelRect& monitor, PixelPoint screenOrigin) {
    int x = std::clamp(cursor.x, monitor.left, monitor.left + std::max(monitor.width - kHintBoxWidth, 0));
    int y = std::clamp(cursor.y + kHintBelowPointer, monitor.top,
                       monitor.top + std::max(monitor.height - kHintBottomMargin, 0));
    return {x - screenOrigin.x, y - screenOrigin.y};
}

OverlayScene overlayScene(bool selecting, PixelPoint start, PixelPoint end, PixelPoint hint) {
    OverlayScene scene;
    if (!selecting) {
        scene.showHint = true;
        scene.hint = hint;
        return scene;
    }
    PixelRect selection = selectionRect(start, end);
    if (selection.width == 0 || selection.height == 0) return scene;
    scene.showSelection = true;
    scene.selection = selection;
    scene.label = sizeLabelText(selection.width, selection.height);
    scene.labelOrigin = sizeLabelOrigin(selection);
    return scene;
}
