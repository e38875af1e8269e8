#pragma once

// Steps of a live resize of the editor at a display scale in percent, 0 and
// 100 marks, each step beside GDI's halftone StretchBlt of the same picture
// into the same box.
void benchResizeSteps(int percent);
