#include <algorithm>

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

}  // namespace

ViewFit currentView() {
    const RectF& rect = editorState.imageRect;
    return ViewFit{editorState.viewScale, ViewRect{rect.X, rect.Y, rect.Width, rect.Height}};
}

void paintEditorOn(HDC dc, int width, int height, float dpiScale) {
    if (width <= 0 || height <= 0) return;
    auto clientWidth = static_cast<float>(width), clientHeight = static_cast<float>(height);
    Bitmap* base = editorState.baseImage.get();
    if (base) {
        storeView(fitImageToView(clientWidth, clientHeight, static_cast<int>(base->GetWidth()),
                                 static_cast<int>(base->GetHeight()), dpiScale));
    }
    const DibCanvas& shown = shownPicture(width, height, currentView());
    DibCanvas frame(width, height);
    if (!shown.valid() || !frame.valid()) return;
    std::copy(shown.pixels(), shown.pixels() + static_cast<std::size_t>(width) * height, frame.pixels());
    {
        Bitmap pixels(width, height, frame.stride(), PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(frame.pixels()));
        Graphics graphics(&pixels);
        if (base && editorState.dragging) drawMarksInView(graphics, currentView(), {&editorState.pendingMark, 1});
        paintStatus(graphics, clientWidth, clientHeight, dpiScale);
    }
    BitBlt(dc, 0, 0, width, height, frame.dc(), 0, 0, SRCCOPY);
}

void paintEditor(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    paintEditorOn(paint.dc(), client.right, client.bottom, static_cast<float>(GetDpiForWindow(window)) / 96.0f);
}
