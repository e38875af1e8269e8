#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/quick_picture_win.h"
#include "editor/shown_picture_win.h"

using namespace Gdiplus;

namespace {

void storeView(const ViewFit& view) {
    editorState.viewScale = view.scale;
    editorState.imageRect = RectF(view.rect.x, view.rect.y, view.rect.width, view.rect.height);
}

void paintStatus(Graphics& graphics, float clientWidth, float clientHeight, float dpiScale) {
    graphics.ScaleTransform(dpiScale, dpiScale, MatrixOrderPrepend);
    drawText(graphics, app.statusLine, 16, clientHeight / dpiScale - 31, clientWidth / dpiScale - 32, 26, 13,
             mutedColor, FontStyleRegular);
}

// The picture (kept, stretched or drawn now), the marks, the mark being
// dragged and the status line.
void paintFrame(Graphics& graphics, FrameStart start, int width, int height, float dpiScale) {
    if (start == FrameStart::Empty) drawWholePicture(graphics, width, height, currentView());
    if (start == FrameStart::Picture) drawMarksInView(graphics, currentView(), editorState.annotations);
    if (editorState.baseImage && editorState.dragging) {
        drawMarksInView(graphics, currentView(), {&editorState.pendingMark, 1});
    }
    paintStatus(graphics, static_cast<float>(width), static_cast<float>(height), dpiScale);
}

}  // namespace

ViewFit currentView() {
    const RectF& rect = editorState.imageRect;
    return ViewFit{editorState.viewScale, ViewRect{rect.X, rect.Y, rect.Width, rect.Height}};
}

void paintEditorOn(HDC dc, int width, int height, float dpiScale, PictureQuality quality) {
    if (width <= 0 || height <= 0) return;
    if (Bitmap* base = editorState.baseImage.get()) {
        storeView(fitImageToView(static_cast<float>(width), static_cast<float>(height),
                                 static_cast<int>(base->GetWidth()), static_cast<int>(base->GetHeight()), dpiScale));
    }
    const DibCanvas* shown = quality == PictureQuality::Exact ? shownPicture(width, height, currentView()) : nullptr;
    DibCanvas* frame = frameCanvas(width, height);
    // Without a frame, straight onto the window: it may flicker, but it is never blank.
    HDC target = frame ? frame->dc() : dc;
    FrameStart start = FrameStart::Empty;
    if (shown) {
        BitBlt(target, 0, 0, width, height, shown->dc(), 0, 0, SRCCOPY);
        GdiFlush();  // GDI+ draws on the same pixels next
        start = FrameStart::PictureWithMarks;
    } else if (quality == PictureQuality::Quick) {
        start = drawQuickPicture(target, width, height, currentView());
    }
    if (!frame) {
        Graphics graphics(dc);
        paintFrame(graphics, start, width, height, dpiScale);
        return;
    }
    {
        Bitmap pixels(width, height, frame->stride(), PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(frame->pixels()));
        Graphics graphics(&pixels);
        paintFrame(graphics, start, width, height, dpiScale);
    }
    BitBlt(dc, 0, 0, width, height, frame->dc(), 0, 0, SRCCOPY);
}

void paintEditor(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    paintEditorOn(paint.dc(), client.right, client.bottom, static_cast<float>(GetDpiForWindow(window)) / 96.0f,
                  pictureQuality());
}
