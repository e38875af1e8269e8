#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "editor/annotation_draw.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "app/win_handles.h"

using namespace Gdiplus;

namespace {

void storeView(const ViewFit& view) {
    editorState.viewScale = view.scale;
    editorState.imageRect = RectF(view.rect.x, view.rect.y, view.rect.width, view.rect.height);
}

void paintPicture(Graphics& graphics, Bitmap& base, float clientWidth, float clientHeight, float dpiScale) {
    ViewFit view = fitImageToView(clientWidth, clientHeight, static_cast<int>(base.GetWidth()),
                                  static_cast<int>(base.GetHeight()), dpiScale);
    storeView(view);
    RectF shown = editorState.imageRect;
    graphics.DrawImage(&base, shown);

    GraphicsState saved = graphics.Save();
    graphics.SetClip(shown);
    graphics.TranslateTransform(shown.X, shown.Y, MatrixOrderPrepend);
    graphics.ScaleTransform(view.scale, view.scale, MatrixOrderPrepend);
    graphics.SetSmoothingMode(SmoothingModeAntiAlias);
    for (const Annotation& mark : editorState.annotations) drawAnnotation(graphics, mark);
    if (editorState.dragging) drawAnnotation(graphics, editorState.pendingMark);
    graphics.Restore(saved);
}

void paintStatus(Graphics& graphics, float clientWidth, float clientHeight, float dpiScale) {
    graphics.ScaleTransform(dpiScale, dpiScale, MatrixOrderPrepend);
    drawText(graphics, app.statusLine, 16, clientHeight / dpiScale - 31, clientWidth / dpiScale - 32, 26, 13,
             mutedColor, FontStyleRegular);
}

}  // namespace

ViewFit currentView() {
    const RectF& rect = editorState.imageRect;
    return ViewFit{editorState.viewScale, ViewRect{rect.X, rect.Y, rect.Width, rect.Height}};
}

void paintEditor(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0) return;

    Bitmap frame(client.right, client.bottom, PixelFormat32bppARGB);
    {
        Graphics graphics(&frame);
        graphics.Clear(Color(backgroundColor));
        float dpiScale = static_cast<float>(GetDpiForWindow(window)) / 96.0f;
        auto width = static_cast<float>(client.right), height = static_cast<float>(client.bottom);
        if (editorState.baseImage) paintPicture(graphics, *editorState.baseImage, width, height, dpiScale);
        paintStatus(graphics, width, height, dpiScale);
    }
    Graphics screen(paint.dc());
    screen.DrawImage(&frame, 0, 0, client.right, client.bottom);
}
