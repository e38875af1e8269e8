#pragma once
// Which child controls the main window has on each page and where they
// sit. Plain values in units of 1/96 inch; the Win32 side creates them.

#include <vector>

enum class ControlKind {
    Button,
    AddressEdit,  // filled from the site address, at most 200 characters
    CodeEdit,     // the link code, at most 24 characters
};

struct ControlSpec {
    ControlKind kind;
    int id;  // command id of a button; 0 for the edits
    const wchar_t* text;
    int x, y, width, height;
};

inline constexpr int kAddressLimit = 200;
inline constexpr int kCodeLimit = 24;

// The controls of `page` in creation order: the common ones, then the
// page's own (the news page's link button, the profile page's form).
std::vector<ControlSpec> mainControlSpecs(int page);

// A length in units at the given DPI, truncated toward zero. Integer
// arithmetic keeps odd scales such as 112 dpi from landing one pixel short.
int scaleUnits(int units, unsigned dpi);

// Whether a press at client height y (pixels) falls in the band at the top
// of the window that drags it.
bool inDragBand(int y, unsigned dpi);
