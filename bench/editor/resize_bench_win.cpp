#include "resize_bench_win.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/win_handles.h"
#include "bench_picture_win.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/bitmap_lock_win.h"
#include "editor/view_fit.h"

namespace {

using namespace editorbench;

// The client grows by this much a step, as when an edge is dragged.
constexpr int kResizes = 5;
constexpr int kSteps = 16;
constexpr int kGrowX = 12;
constexpr int kGrowY = 8;

// The picture in a DIB section, for GDI's own stretch.
std::unique_ptr<DibCanvas> pictureInSection(Gdiplus::Bitmap& picture) {
    auto section = std::make_unique<DibCanvas>(kWidth, kHeight);
    BitmapLock lock(picture, Gdiplus::ImageLockModeRead);
    for (int y = 0; y < kHeight; ++y) {
        std::memcpy(section->pixels() + static_cast<std::size_t>(y) * kWidth, lock.bytes() + y * lock.stride(),
                    kWidth * 4u);
    }
    return section;
}

double timed(const std::function<void()>& step) {
    auto start = std::chrono::steady_clock::now();
    step();
    GdiFlush();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void benchResizeSteps(int percent) {
    float scale = percent / 100.0f;
    int width = static_cast<int>(1000 * scale), height = static_cast<int>(720 * scale);
    DibCanvas window(width + kSteps * kGrowX, height + kSteps * kGrowY);
    SetStretchBltMode(window.dc(), HALFTONE);
    auto picture = pictureInSection(*editorState.baseImage);
    std::printf("Live resize from a %d x %d client area at %d %%, %d resizes of %d steps of %d x %d pixels\n", width,
                height, percent, kResizes, kSteps, kGrowX, kGrowY);
    HWND editor = editorState.editorWindow;
    for (int marks : {0, 100}) {
        editorState.annotations = mixedMarks(marks);
        std::vector<double> floor, firstSteps, steps, ends;
        for (int resize = 0; resize < kResizes; ++resize) {
            paintEditorOn(window.dc(), width, height, scale, PictureQuality::Exact);
            enterSizeMove();
            for (int step = 1; step <= kSteps; ++step) {
                int w = width + step * kGrowX, h = height + step * kGrowY;
                ViewRect box =
                    fitImageToView(static_cast<float>(w), static_cast<float>(h), kWidth, kHeight, scale).rect;
                floor.push_back(timed([&] {
                    StretchBlt(window.dc(), static_cast<int>(box.x), static_cast<int>(box.y),
                               static_cast<int>(box.width), static_cast<int>(box.height), picture->dc(), 0, 0, kWidth,
                               kHeight, SRCCOPY);
                }));
                (step == 1 ? firstSteps : steps).push_back(timed([&] {
                    sizeChanged(editor);
                    paintEditorOn(window.dc(), w, h, scale, pictureQuality());
                }));
            }
            ends.push_back(timed([&] {
                exitSizeMove(editor);
                paintEditorOn(window.dc(), width + kSteps * kGrowX, height + kSteps * kGrowY, scale,
                              pictureQuality());
            }));
        }
        double floorMs = median(floor), firstMs = median(firstSteps), stepMs = median(steps);
        std::printf("  floor: StretchBlt of the picture, halftone %8.3f ms\n", floorMs);
        std::printf("  first step, %3d marks, marks lifted       %8.3f ms  (%.2f x floor)\n", marks, firstMs,
                    firstMs / floorMs);
        std::printf("  later steps, %3d marks                    %8.3f ms  (%.2f x floor)\n", marks, stepMs,
                    stepMs / floorMs);
        std::printf("  end of the resize, exact picture, once    %8.3f ms\n", median(ends));
    }
    editorState.annotations.clear();
}
