#pragma once
// One mark on the edited picture. Coordinates and sizes are in pixels of the
// base image, so a mark looks the same at any zoom and in the exported file.

#include <cstdint>
#include <string>
#include <vector>

enum class AnnotationKind : std::int32_t {
    Arrow = 0,
    Frame = 1,
    Line = 2,
    Pen = 3,
    Text = 4,
    Mosaic = 5,
};

struct MarkPoint {
    float x = 0.0f;
    float y = 0.0f;

    bool operator==(const MarkPoint&) const = default;
};

struct Annotation {
    AnnotationKind kind = AnnotationKind::Arrow;
    float x1 = 0.0f;
    float y1 = 0.0f;
    float x2 = 0.0f;
    float y2 = 0.0f;
    std::uint32_t color = 0;  // ARGB, alpha in the top byte
    float thickness = 0.0f;
    std::vector<MarkPoint> points;  // the stroke of a Pen mark
    std::wstring text;              // the text of a Text mark

    bool operator==(const Annotation&) const = default;
};
