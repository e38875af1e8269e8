// Editor figures on a 3840 × 2160 picture: one repaint of the editor window
// with 0, 10, 100 and 1000 marks of mixed kinds, right after the list changed
// and while one more mark is dragged, and with 100 marks right after a mark
// is added, undone or redone, at the default window size at 100 % and 150 %;
// the steps of a live resize from that size;
// flattening and PNG encoding; copying to the clipboard; the process's
// memory at each step, counted in copies of the picture.
// Beside the repaints stand two floors: a plain BitBlt of a client-sized
// picture, and GDI's own StretchBlt of the whole picture into the shown area.
// Milliseconds (median of many runs), the PNG size and megabytes.

#include <windows.h>
#include <gdiplus.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/mark_editing.h"
#include "editor/shown_picture_win.h"
#include "editor/view_fit.h"
#include "../support/process_memory_win.h"
#include "bench_picture_win.h"
#include "resize_bench_win.h"

namespace {

using namespace editorbench;

constexpr double kPictureMb = kWidth * 4.0 * kHeight / (1024.0 * 1024.0);

// The repaint right after the editor's own add, undo and redo with 100 marks
// in the list, and after a second undo in a row; the added mark takes each
// kind in turn.
void benchChangesOf100Marks(const std::function<void()>& paint, double empty) {
    editorState.annotations = mixedMarks(100);
    editorState.redoStack.clear();
    paint();
    std::vector<Annotation> added = mixedMarks(6);
    std::vector<double> afterAdd, afterUndo, afterRedo, afterSecondUndo;
    auto timed = [&](std::vector<double>& times, const std::function<void()>& change) {
        auto start = std::chrono::steady_clock::now();
        change();
        paint();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    for (int run = 0; run < 24; ++run) {
        timed(afterAdd, [&] { addMark(editorState.annotations, editorState.redoStack, added[run % 6]); });
        timed(afterUndo, [] { undoMark(editorState.annotations, editorState.redoStack); });
        timed(afterRedo, [] { redoMark(editorState.annotations, editorState.redoStack); });
        undoMark(editorState.annotations, editorState.redoStack);
        paint();
        timed(afterSecondUndo, [] { undoMark(editorState.annotations, editorState.redoStack); });
        redoMark(editorState.annotations, editorState.redoStack);
        paint();
    }
    for (auto [what, times] : {std::pair{"added", &afterAdd}, std::pair{"undone", &afterUndo},
                               std::pair{"redone", &afterRedo}, std::pair{"undone 2x", &afterSecondUndo}}) {
        double middle = median(*times);
        std::printf("  repaint, 100 marks, a mark just %-9s  %8.3f ms  (%.2f x no marks)\n", what, middle,
                    middle / empty);
    }
    editorState.redoStack.clear();
}

void benchRepaints(int percent) {
    float scale = percent / 100.0f;
    int width = static_cast<int>(1000 * scale), height = static_cast<int>(720 * scale);
    DibCanvas window(width, height);
    DibCanvas client(width, height);
    std::printf("Repaint of a %d x %d client area at %d %%\n", width, height, percent);

    double floor = medianMilliseconds(200, [&] {
        BitBlt(window.dc(), 0, 0, width, height, client.dc(), 0, 0, SRCCOPY);
        GdiFlush();
    });
    std::printf("  floor: BitBlt of the client area          %8.3f ms\n", floor);

    ViewFit view = fitImageToView(static_cast<float>(width), static_cast<float>(height), kWidth, kHeight, scale);
    {
        DibCanvas full(kWidth, kHeight);
        SetStretchBltMode(window.dc(), HALFTONE);
        double stretch = medianMilliseconds(20, [&] {
            StretchBlt(window.dc(), static_cast<int>(view.rect.x), static_cast<int>(view.rect.y),
                       static_cast<int>(view.rect.width), static_cast<int>(view.rect.height), full.dc(), 0, 0, kWidth,
                       kHeight, SRCCOPY);
            GdiFlush();
        });
        std::printf("  floor: StretchBlt of the picture, halftone %8.3f ms\n", stretch);
    }

    auto paint = [&] {
        paintEditorOn(window.dc(), width, height, scale, PictureQuality::Exact);
        GdiFlush();
    };
    editorState.annotations.clear();
    double rescaled = medianMilliseconds(10, [&] {
        forgetShownPicture();  // as after a resize
        paint();
    });
    std::printf("  repaint, picture scaled again (resize)    %8.3f ms\n", rescaled);
    double empty = medianMilliseconds(30, paint);
    std::printf("  repaint, no marks                         %8.3f ms\n", empty);

    benchChangesOf100Marks(paint, empty);

    for (int count : {10, 100, 1000}) {
        editorState.annotations = mixedMarks(count);
        // A changed list draws every mark again: a new colour each time.
        double changed = medianMilliseconds(count >= 1000 ? 7 : 15, [&] {
            editorState.annotations.back().color ^= 1;
            paint();
        });
        // While one more mark is dragged, the list stays as it is.
        editorState.dragging = true;
        editorState.pendingMark = mixedMarks(1).front();
        double dragging = medianMilliseconds(30, [&] {
            editorState.pendingMark.x2 += 1;
            paint();
        });
        editorState.dragging = false;
        std::printf("  repaint, %4d marks, list just changed     %8.3f ms  (%.2f x no marks)\n", count, changed,
                    changed / empty);
        std::printf("  repaint, %4d marks, dragging one more     %8.3f ms  (%.2f x no marks)\n", count, dragging,
                    dragging / empty);
    }

    // What each kind costs when the list changes: 100 marks of one kind.
    std::vector<Annotation> mixed = mixedMarks(600);
    for (int kind = 0; kind < 6; ++kind) {
        editorState.annotations.clear();
        for (const Annotation& mark : mixed) {
            if (static_cast<int>(mark.kind) == kind) editorState.annotations.push_back(mark);
        }
        double changed = medianMilliseconds(10, [&] {
            editorState.annotations.back().color ^= 1;
            paint();
        });
        std::printf("  repaint, 100 marks of kind %d, changed     %8.3f ms\n", kind, changed);
    }
    editorState.annotations.clear();
}

void benchExport() {
    editorState.annotations = mixedMarks(100);
    double flatten = medianMilliseconds(7, [] { flattenImage(); });
    auto picture = flattenImage();
    std::string png;
    double encode = medianMilliseconds(5, [&] { png = encodePng(*picture); });
    picture.reset();
    double both = medianMilliseconds(5, [&] { png = flattenedPng(); });
    std::printf("Export of the picture with 100 marks\n");
    std::printf("  flattenImage                              %8.3f ms\n", flatten);
    std::printf("  encodePng                                 %8.3f ms  (%zu bytes)\n", encode, png.size());
    std::printf("  flattenImage + encodePng                  %8.3f ms\n", both);
    double copy = medianMilliseconds(5, [] { copyImageToClipboard(); });
    std::printf("  copyImageToClipboard                      %8.3f ms  (%s)\n", copy,
                app.statusLine == L"Изображение скопировано" ? "copied" : "not copied");
    editorState.annotations.clear();
}

// Private bytes and working set at each step of editing one picture, in
// copies of the picture above the idle figure.
void reportMemory() {
    std::printf("Memory at each step; one copy of the %d x %d picture is %.1f MB\n", kWidth, kHeight, kPictureMb);
    MemoryFigures idle = memoryNow();
    printMemoryStep("idle", idle, idle, kPictureMb);
    editorState.baseImage = screenLikePicture();
    printMemoryStep("picture made", memoryNow(), idle, kPictureMb);
    DibCanvas window(1000, 720);
    auto paint = [&] { paintEditorOn(window.dc(), 1000, 720, 1.0f, PictureQuality::Exact); };
    printPeakOf("first paint, no marks (peak)", paint, idle, kPictureMb);
    printMemoryStep("editor shown", memoryNow(), idle, kPictureMb);
    editorState.annotations = mixedMarks(100);
    printPeakOf("paint with 100 marks (peak)", paint, idle, kPictureMb);
    printPeakOf("flattening and encoding the PNG (peak)", [] { flattenedPng(); }, idle, kPictureMb);
    printPeakOf("copying to the clipboard (peak)", copyImageToClipboard, idle, kPictureMb);
    printMemoryStep("after the export", memoryNow(), idle, kPictureMb);
    editorState.annotations.clear();
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    // Status changes repaint the main window and the editor: hidden stand-ins
    // here, which also own the clipboard while copying.
    HWND standIn = CreateWindowExW(0, L"STATIC", L"editor", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    app.mainWindow = standIn;
    editorState.editorWindow = standIn;
    app.statusLine = L"Добавьте пометки, сохраните PNG или загрузите на сайт";

    reportMemory();
    for (int percent : {100, 150}) benchRepaints(percent);
    for (int percent : {100, 150}) benchResizeSteps(percent);
    benchExport();

    editorState.baseImage.reset();
    editorState.editorWindow = nullptr;
    app.mainWindow = nullptr;
    DestroyWindow(standIn);
    Gdiplus::GdiplusShutdown(token);
    CoUninitialize();
    return 0;
}
