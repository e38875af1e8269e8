#pragma once
// What the editor benchmarks work on: a screen-like 3840 × 2160 picture,
// marks of every kind spread over it, and the median of timed runs.

#include <windows.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <vector>

#include "editor/annotation.h"

namespace editorbench {

inline constexpr int kWidth = 3840;
inline constexpr int kHeight = 2160;

// Milliseconds, the median of `runs` after one warm-up run.
double medianMilliseconds(int runs, const std::function<void()>& step);
double median(std::vector<double> times);

// A gradient desktop, windows with title bars and lines of "text", and a
// photo with fine noise.
std::unique_ptr<Gdiplus::Bitmap> screenLikePicture();

// Marks of every kind in turn, spread over the picture by a fixed sequence.
std::vector<Annotation> mixedMarks(int count);

}  // namespace editorbench
