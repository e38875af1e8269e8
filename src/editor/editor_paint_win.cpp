#include <cstring>

#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
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

// The picture (kept or drawn now), the mark being dragged and the status line.
void paintFrame(Graphics& graphics, const DibCanvas* shown, int width, int height, float dpiScale) {
    if (!shown) drawWholePicture(graphics, width, height, currentView());
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

void paintEditorOn(HDC dc, int width, int height, float dpiScale) {
    if (width <= 0 || height <= 0) return;
    if (Bitmap* base = editorState.baseImage.get()) {
        storeView(fitImageToView(static_cast<float>(width), static_cast<float>(height),
                                 static_cast<int>(base->GetWidth()), static_cast<int>(base->GetHeight()), dpiScale));
    }
    const DibCanvas* shown = shownPicture(width, height, currentView());
    DibCanvas* frame = frameCanvas(width, height);
    if (!frame) {
        // Straight onto the window: it may flicker, but it is never blank.
        if (shown) BitBlt(dc, 0, 0, width, height, shown->dc(), 0, 0, SRCCOPY);
        Graphics graphics(dc);
        paintFrame(graphics, shown, width, height, dpiScale);
        return;
    }
    if (shown) std::memcpy(frame->pixels(), shown->pixels(), static_cast<std::size_t>(width) * height * 4);
    {
        Bitmap pixels(width, height, frame->stride(), PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(frame->pixels()));
        Graphics graphics(&pixels);
        paintFrame(graphics, shown, width, height, dpiScale);
    }
    BitBlt(dc, 0, 0, width, height, frame->dc(), 0, 0, SRCCOPY);
}

void paintEditor(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    paintEditorOn(paint.dc(), client.right, client.bottom, static_cast<float>(GetDpiForWindow(window)) / 96.0f);
}
