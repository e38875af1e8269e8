#pragma once
// The overlay's decisions as plain arithmetic: where the drag rectangle is,
// whether it is big enough, and where the size label and the hint stand.
// Everything is in physical pixels of the overlay's client area, which is
// the virtual screen with its top-left corner at (0, 0).

#include <cstdint>
#include <optional>
#include <string>

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

inline constexpr int kMinimumSelection = 2;
inline constexpr int kHintBoxWidth = 550;
inline constexpr int kHintBoxHeight = 40;
inline constexpr int kHintBelowPointer = 28;
inline constexpr int kHintBottomMargin = 50;
inline constexpr int kLabelBoxWidth = 250;
inline constexpr int kLabelBoxHeight = 28;
inline constexpr int kLabelInset = 8;
inline constexpr int kLabelAbove = 30;

// A mouse message's point: signed 16-bit x in the low word, y in the high
// word, so positions left of or above the window come out negative.
PixelPoint mousePoint(std::uintptr_t lParam);

// Limits a point to 0..width and 0..height, both bounds included.
PixelPoint clampToScreen(PixelPoint point, int screenWidth, int screenHeight);

// The rectangle spanned by two drag points, whichever way the drag went.
PixelRect selectionRect(PixelPoint start, PixelPoint end);

// The area to cut out, or nothing when the drag is narrower or lower than
// the minimum.
std::optional<PixelRect> acceptedArea(PixelPoint start, PixelPoint end);

// "640 × 480".
std::wstring sizeLabelText(int width, int height);

// The label's box stands 30 pixels above the selection, never above the
// top edge.
PixelPoint sizeLabelOrigin(const PixelRect& selection);

// The hint's box 28 pixels below the pointer, its left edge at the pointer,
// pushed back inside the pointer's monitor near its right and bottom edges:
// where monitors of different heights meet, the virtual screen's bottom
// edge can lie below a monitor's, where nothing is shown. cursor and
// monitor are in screen coordinates; the result is relative to the virtual
// screen's top-left corner, `screenOrigin` (both may be negative).
PixelPoint hintOrigin(PixelPoint cursor, const PixelRect& monitor, PixelPoint screenOrigin);

// What one paint of the overlay shows over the dimmed copy.
struct OverlayScene {
    bool showHint = false;
    PixelPoint hint;
    bool showSelection = false;
    PixelRect selection;
    std::wstring label;
    PixelPoint labelOrigin;
};

// `hint` is where the hint stands when no drag is under way.
OverlayScene overlayScene(bool selecting, PixelPoint start, PixelPoint end, PixelPoint hint);
