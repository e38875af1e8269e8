#include "editor/shown_picture_win.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "app/drawing_kit.h"
#include "editor/annotation_draw.h"
#include "editor/editor_state.h"

using namespace Gdiplus;

namespace {

// Kept until the size or the place of the picture changes; a new base image
// makes the editor forget it.
struct KeptCanvas {
    std::unique_ptr<DibCanvas> canvas;
    int width = 0;
    int height = 0;
    bool withPicture = false;
    ViewRect rect;

    bool fits(int w, int h, bool picture, const ViewRect& r) const {
        return canvas && width == w && height == h && withPicture == picture &&
               (!picture || (rect.x == r.x && rect.y == r.y && rect.width == r.width && rect.height == r.height));
    }
};

KeptCanvas background;               // the scaled picture
std::unique_ptr<DibCanvas> marked;   // the scaled picture with the marks
std::vector<Annotation> markedWith;  // the marks `marked` shows

std::size_t pixelCount(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

std::unique_ptr<DibCanvas> scaledPicture(int width, int height, Bitmap* base, const ViewRect& rect) {
    auto canvas = std::make_unique<DibCanvas>(width, height);
    if (!canvas->valid()) return canvas;
    std::fill(canvas->pixels(), canvas->pixels() + pixelCount(width, height), backgroundColor);
    if (base) {
        Bitmap pixels(width, height, canvas->stride(), PixelFormat32bppPARGB,
                      reinterpret_cast<BYTE*>(canvas->pixels()));
        Graphics graphics(&pixels);
        graphics.DrawImage(base, RectF(rect.x, rect.y, rect.width, rect.height));
    }
    return canvas;
}

std::unique_ptr<DibCanvas> pictureWithMarks(const DibCanvas& picture, const ViewFit& view) {
    int width = picture.width(), height = picture.height();
    auto canvas = std::make_unique<DibCanvas>(width, height);
    if (!canvas->valid()) return canvas;
    std::copy(picture.pixels(), picture.pixels() + pixelCount(width, height), canvas->pixels());
    if (!editorState.annotations.empty()) {
        Bitmap pixels(width, height, canvas->stride(), PixelFormat32bppPARGB,
                      reinterpret_cast<BYTE*>(canvas->pixels()));
        Graphics graphics(&pixels);
        drawMarksInView(graphics, view, editorState.annotations);
    }
    return canvas;
}

}  // namespace

const DibCanvas& shownPicture(int width, int height, const ViewFit& view) {
    Bitmap* base = editorState.baseImage.get();
    bool pictureChanged = !background.fits(width, height, base != nullptr, view.rect);
    if (pictureChanged) {
        background = {scaledPicture(width, height, base, view.rect), width, height, base != nullptr, view.rect};
    }
    if (!background.canvas->valid()) return *background.canvas;
    if (pictureChanged || !marked || !marked->valid() || markedWith != editorState.annotations) {
        marked = pictureWithMarks(*background.canvas, view);
        markedWith = editorState.annotations;
    }
    return *marked;
}

void forgetShownPicture() {
    background = KeptCanvas{};
    marked.reset();
    markedWith.clear();
}

void drawMarksInView(Graphics& graphics, const ViewFit& view, std::span<const Annotation> marks) {
    RectF shown(view.rect.x, view.rect.y, view.rect.width, view.rect.height);
    GraphicsState saved = graphics.Save();
    graphics.SetClip(shown);
    graphics.TranslateTransform(shown.X, shown.Y, MatrixOrderPrepend);
    graphics.ScaleTransform(view.scale, view.scale, MatrixOrderPrepend);
    graphics.SetSmoothingMode(SmoothingModeAntiAlias);
    for (const Annotation& mark : marks) drawAnnotation(graphics, mark);
    graphics.Restore(saved);
}
