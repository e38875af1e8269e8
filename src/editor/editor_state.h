#pragma once
// The editor's global record. tool, color, thickness and customColors live
// for the whole process; the image and the marks belong to one editor window.

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <vector>

#include "editor/annotation.h"

struct EditorState {
    HWND editorWindow = nullptr;
    std::vector<HWND> toolbarButtons;
    std::unique_ptr<Gdiplus::Bitmap> baseImage;
    std::vector<Annotation> annotations;
    std::vector<Annotation> redoStack;
    AnnotationKind tool = AnnotationKind::Arrow;
    std::uint32_t color = 0xFFFF647A;
    float thickness = 4.0f;
    float viewScale = 1.0f;
    Gdiplus::RectF imageRect{0.0f, 0.0f, 0.0f, 0.0f};
    bool dragging = false;
    Annotation pendingMark;
    COLORREF customColors[16] = {};
};

extern EditorState editorState;

// Takes ownership of a captured image (null when cutting it out failed),
// records the capture and opens the editor window.
void openEditor(std::unique_ptr<Gdiplus::Bitmap> image);

LRESULT CALLBACK editorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
