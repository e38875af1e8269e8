#include "app/pages.h"

#include <gdiplus.h>

#include <exception>

#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "app/page_model.h"
#include "app/pages_layer.h"

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

// The current page, unscaled and on a transparent ground, so that it can be
// faded and moved as one piece.
void renderPageLayer(Bitmap& layer) {
    Graphics graphics(&layer);
    graphics.Clear(Color(0));
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    drawPageLayer(graphics, app.currentPage);
}

// The layer's alpha scaled by the eased progress, shifted sideways by what
// is left of the slide.
void composePageLayer(Graphics& buffer, Bitmap& layer) {
    Gdiplus::ColorMatrix fade = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, 1, 0}, {0, 0, 0, 0, 1}}};
    fade.m[3][3] = easedProgress(app.pageProgress);
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&fade, Gdiplus::ColorMatrixFlagsDefault, Gdiplus::ColorAdjustTypeDefault);
    float dx = pageOffset(app.pageProgress, app.pageDirection);
    Gdiplus::RectF destination(dx, 0, kPageLayerWidth, kPageLayerHeight);
    buffer.DrawImage(&layer, destination, 0, 0, kPageLayerWidth, kPageLayerHeight, Gdiplus::UnitPixel, &attributes);
}

void present(HDC target, Bitmap& buffer, int width, int height) {
    Graphics screen(target);
    screen.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    screen.DrawImage(&buffer, 0, 0, width, height);
}

// Header, page and status line on the client-sized buffer; its graphics is
// released before the buffer is presented.
void drawWindow(Bitmap& buffer, Bitmap& layer, float scale) {
    Graphics graphics(&buffer);
    graphics.Clear(Color(backgroundColor));
    graphics.ScaleTransform(scale, scale, Gdiplus::MatrixOrderPrepend);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    drawHeader(graphics);
    renderPageLayer(layer);
    composePageLayer(graphics, layer);
    drawStatusLine(graphics);
}

void paintFrame(HDC target, int width, int height, float scale) {
    Bitmap buffer(width, height, PixelFormat32bppARGB);
    Bitmap layer(kPageLayerWidth, kPageLayerHeight, PixelFormat32bppARGB);
    if (buffer.GetLastStatus() != Gdiplus::Ok || layer.GetLastStatus() != Gdiplus::Ok) return;
    drawWindow(buffer, layer, scale);
    present(target, buffer, width, height);
}

}  // namespace

void paintMainWindow(HWND window, HDC target) {
    RECT client{};
    GetClientRect(window, &client);
    paintMainWindowAt(target, client.right, client.bottom, GetDpiForWindow(window) / 96.0f);
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
