#pragma once

// Steps of a live resize of the editor at a display scale in percent, with
// 0 and 100 marks, beside GDI's halftone StretchBlt of the same picture into
// the same box; then the exact picture drawn once when the resize ends.
void benchResizeSteps(int percent);
