#pragma once
// What a press, a drag and a release do to the mark list, and the list's
// undo and redo, without any window.

#include <cstdint>
#include <string>
#include <vector>

#include "editor/annotation.h"

// A new mark at the press point: both points there, the point list holding
// only that point.
Annotation beginMark(AnnotationKind kind, MarkPoint at, std::uint32_t color, float thickness);
Annotation textMark(MarkPoint at, std::uint32_t color, float thickness, std::wstring text);

// The pointer moved to `to`. Only a pen stroke keeps the points it visits;
// the kind is the one chosen at the press, whatever the tool is now.
void extendMark(Annotation& mark, MarkPoint to);

// The button went up at `to`. True when the mark is worth keeping: it moved
// more than one image pixel (x plus y) or it is a stroke of two points or more.
bool finishMark(Annotation& mark, MarkPoint to);

// Appends a mark; a new mark makes the undone ones unreachable.
void addMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo, Annotation mark);
// Each moves the last entry of one list to the other; false when empty.
bool undoMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo);
bool redoMark(std::vector<Annotation>& marks, std::vector<Annotation>& redo);

// 2 → 4 → 6 → 8 → 10 → 2.
float nextThickness(float thickness);
std::wstring thicknessStatus(float thickness);

// ARGB to the 0x00BBGGRR form of the colour dialog and back (opaque).
std::uint32_t argbToColorref(std::uint32_t argb);
std::uint32_t colorrefToArgb(std::uint32_t colorref);
