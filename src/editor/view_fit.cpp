#include "editor/view_fit.h"

#include <algorithm>

ViewFit fitImageToView(float clientWidth, float clientHeight, int imageWidth, int imageHeight, float dpiScale) {
    float availableHeight = clientHeight - kToolbarBand * dpiScale - kStatusBand * dpiScale;
    float availableWidth = clientWidth - 2.0f * kSideMargin * dpiScale;
    ViewFit view;
    view.scale = std::max(std::min(availableHeight / static_cast<float>(imageHeight),
                                   availableWidth / static_cast<float>(imageWidth)),
                          0.01f);
    float shownWidth = static_cast<float>(imageWidth) * view.scale;
    float shownHeight = static_cast<float>(imageHeight) * view.scale;
    view.rect = {(clientWidth - shownWidth) * 0.5f, kToolbarBand * dpiScale + (availableHeight - shownHeight) * 0.5f,
                 shownWidth, shownHeight};
    return view;
}

MarkPoint clientToImage(float x, float y, const ViewFit& view, int imageWidth, int imageHeight) {
    float imageX = (x - view.rect.x) / view.scale;
    float imageY = (y - view.rect.y) / view.scale;
    return {std::clamp(imageX, 0.0f, static_cast<float>(imageWidth - 1)),
            std::clamp(imageY, 0.0f, static_cast<float>(imageHeight - 1))};
}

MarkPoint imageToClient(MarkPoint point, const ViewFit& view) {
    return {point.x * view.scale + view.rect.x, point.y * view.scale + view.rect.y};
}

bool insideShownImage(float x, float y, const ViewRect& rect) {
    return x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
}
