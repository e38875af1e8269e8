#include "app/pages.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "app/page_model.h"
#include "app/pages_layer.h"
#include "app/win_handles.h"

namespace {

using Gdiplus::Bitmap;
using Gdiplus::Color;
using Gdiplus::Graphics;

constexpr Gdiplus::ARGB kSeparatorColor = 0xFF222222;

void drawHeader(Graphics& graphics) {
    drawBoxedText(graphics, L"Clipvane", {24, 17, 190, 32, 23, textColor, Gdiplus::FontStyleBold});
    drawBoxedText(graphics, L"Снимок. Пометка. Ссылка.", {25, 48, 330, 20, 11, mutedColor});
    Gdiplus::Pen separator(Color(kSeparatorColor), 1.0f);
    graphics.DrawLine(&separator, 24.0f, 126.0f, 356.0f, 126.0f);
}

void drawStatusLine(Graphics& graphics) {
    drawBoxedText(graphics, app.statusLine, {24, 355, 332, 25, 11, mutedColor});
}

// GDI+ drawing straight into a canvas's pixels, in units of 1/96 inch. The
// pixels are premultiplied, which is what AlphaBlend expects of a source.
void drawOnCanvas(DibCanvas& canvas, float scale, const std::function<void(Graphics&)>& draw) {
    Bitmap pixels(canvas.width(), canvas.height(), canvas.stride(), PixelFormat32bppPARGB,
                  reinterpret_cast<BYTE*>(canvas.pixels()));
    Graphics graphics(&pixels);
    graphics.ScaleTransform(scale, scale, Gdiplus::MatrixOrderPrepend);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    draw(graphics);
}

// A transition frame: the page on a transparent layer of the window's own
// resolution (so its text is never scaled up), faded in by the eased
// progress and shifted by what is left of the slide, in whole pixels.
void fadeInPage(DibCanvas& buffer, float scale) {
    DibCanvas layer(buffer.width(), buffer.height());
    if (!layer.valid()) return;
    drawOnCanvas(layer, scale, [](Graphics& graphics) { drawPageLayer(graphics, app.currentPage); });
    float alpha = std::clamp(easedProgress(app.pageProgress), 0.0f, 1.0f);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(std::lround(alpha * 255.0f)), AC_SRC_ALPHA};
    int dx = static_cast<int>(std::lround(pageOffset(app.pageProgress, app.pageDirection) * scale));
    AlphaBlend(buffer.dc(), dx, 0, layer.width(), layer.height(), layer.dc(), 0, 0, layer.width(), layer.height(),
               blend);
}

// Header, status line and page in the buffer; the page area lies between
// the other two, so the order does not show. A settled page is drawn
// straight in; only a transition needs the page on a layer of its own.
void drawWindow(DibCanvas& buffer, float scale) {
    bool settled = app.pageProgress >= 1.0f;
    drawOnCanvas(buffer, scale, [settled](Graphics& graphics) {
        graphics.Clear(Color(backgroundColor));
        drawHeader(graphics);
        drawStatusLine(graphics);
        if (settled) drawPageLayer(graphics, app.currentPage);
    });
    if (!settled) fadeInPage(buffer, scale);
}

void paintFrame(HDC target, int width, int height, float scale) {
    DibCanvas buffer(width, height);
    if (!buffer.valid()) return;
    drawWindow(buffer, scale);
    BitBlt(target, 0, 0, width, height, buffer.dc(), 0, 0, SRCCOPY);
}

}  // namespace

void paintMainWindow(HWND window, HDC target) {
    RECT client{};
    GetClientRect(window, &client);
    paintMainWindowAt(target, client.right, client.bottom, layoutDpi(window) / 96.0f);
}

void paintMainWindowAt(HDC target, int width, int height, float scale) {
    if (width < 1 || height < 1) return;
    // A paint runs inside the window procedure, where an escaping exception
    // would end the program; running out of memory only loses this frame.
    try {
        paintFrame(target, width, height, scale);
    } catch (const std::exception&) {
    }
}
