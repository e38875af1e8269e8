#pragma once
// The page switch: which way the new page slides in, and one 16 ms tick of
// the highlight and the fade.

struct PageMotion {
    float indicatorPos;
    float pageProgress;
};

// +1 when the new page lies right of the current one, -1 otherwise (also
// for the page already shown).
int pageDirectionFor(int newPage, int currentPage);

// One tick towards `page`. `finished` is set when the highlight has arrived
// and the fade is complete; the highlight then sits exactly on the page.
struct PageTick {
    PageMotion motion;
    bool finished;
};
PageTick advancePageAnimation(PageMotion motion, int page);
