#include "editor/mark_editing.h"

#include <cmath>
#include <utility>

Annotation beginMark(AnnotationKind kind, MarkPoint at, std::uint32_t color, float thickness) {
    Annotation mark;
    mark.kind = kind;
    mark.x1 = mark.x2 = at.x;
    mark.y1 = mark.y2 = at.y;
    mark.color = color;
    mark.thickness = thickness;
    mark.points.push_back(at);
    return mark;
}

Annotation textMark(MarkPoint at, std::uint32_t color, float thickness, std::wstring text) {
    Annotation mark = beginMark(AnnotationKind::Text, at, color, thickness);
    mark.points.clear();
    mark.text = std::move(text);
    return mark;
}

void extendMark(Annotation& mark, MarkPoint to) {
    mark.x2 = to.x;
    mark.y2 = to.y;
    if (mark.kind == AnnotationKind::Pen) mark.points.push_back(to);
}

bool finishMark(Annotation& mark, MarkPoint to) {
    mark.x2 = to.x;
    mark.y2 = to.y;
    return std::fabs(mark.x1 - to.x) + std::fabs(mark.y1 - to.y) > 1.0f || mark.points.size() >= 2;
}

void addMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo, Annotation mark) {
    marks.push_back(std::move(mark));
    redo.clear();
}

namespace {
bool moveLast(std::vector<Annotation>& from, std::vector<Annotation>& to) {
    if (from.empty()) return false;
    to.push_back(std::move(from.back()));
    from.pop_back();
    return true;
}
}  // namespace

bool undoMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo) {
    return moveLast(marks, redo);
}

bool redoMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo) {
    return moveLast(redo, marks);
}

float nextThickness(float thickness) {
    return thickness >= 10.0f ? 2.0f : thickness + 2.0f;
}

std::wstring thicknessStatus(float thickness) {
    return L"Толщина: " + std::to_wstring(static_cast<int>(thickness)) + L" px";
}

std::uint32_t argbToColorref(std::uint32_t argb) {
    std::uint32_t red = (argb >> 16) & 0xFF, green = (argb >> 8) & 0xFF, blue = argb & 0xFF;
    return red | (green << 8) | (blue << 16);
}

std::uint32_t colorrefToArgb(std::uint32_t colorref) {
    std::uint32_t red = colorref & 0xFF, green = (colorref >> 8) & 0xFF, blue = (colorref >> 16) & 0xFF;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}
