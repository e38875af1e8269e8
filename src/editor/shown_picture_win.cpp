#include "editor/shown_picture_win.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "app/drawing_kit.h"
#include "editor/annotation_draw.h"
#include "editor/editor_state.h"
#include "editor/mark_geometry.h"

using namespace Gdiplus;

CanvasMaker makeEditorCanvas = [](int width, int height) { return std::make_unique<DibCanvas>(width, height); };

namespace {

// Client pixels [left, right) × [top, bottom).
struct ClientArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool empty() const { return right <= left || bottom <= top; }
    bool meets(const ClientArea& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    void add(const ClientArea& other) {
        if (other.empty()) return;
        *this = empty() ? other
                        : ClientArea{std::min(left, other.left), std::min(top, other.top),
                                     std::max(right, other.right), std::max(bottom, other.bottom)};
    }
};

// Anti-aliased edges and rounding reach past a mark's geometry.
constexpr int kEdgeMargin = 2;

constexpr int kFrameSlack = 128;

// Kept until the size or the place of the picture changes; a new base image
// makes the editor forget it.
struct ScaledPicture {
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

// The pixels under the mark drawn last, taken just before it was drawn, so
// that undoing it puts them back without drawing anything.
struct UnderLastMark {
    ClientArea area;
    std::vector<std::uint32_t> pixels;
    // The list's length with that mark last; 0: nothing kept. Only adding
    // marks makes the list that long again, and that sets it anew.
    std::size_t listSize = 0;
};

ScaledPicture scaled;                // the background with the scaled picture
std::unique_ptr<DibCanvas> marked;   // the same with the marks
std::vector<Annotation> markedWith;  // the marks `marked` shows, in order
UnderLastMark underLast;
std::unique_ptr<DibCanvas> frame;    // where a paint puts the picture together

std::unique_ptr<DibCanvas> madeCanvas(int width, int height) {
    std::unique_ptr<DibCanvas> canvas = makeEditorCanvas(width, height);
    return canvas && canvas->valid() ? std::move(canvas) : nullptr;
}

// A GDI+ surface over a canvas's own pixels.
class CanvasGraphics {
public:
    explicit CanvasGraphics(DibCanvas& canvas)
        : pixels_(canvas.width(), canvas.height(), canvas.stride(), PixelFormat32bppPARGB,
                  reinterpret_cast<BYTE*>(canvas.pixels())),
          graphics_(&pixels_) {}
    Graphics& get() { return graphics_; }

private:
    Bitmap pixels_;
    Graphics graphics_;
};

void drawScaledPicture(Graphics& graphics, const ViewFit& view) {
    if (Bitmap* base = editorState.baseImage.get()) {
        graphics.DrawImage(base, RectF(view.rect.x, view.rect.y, view.rect.width, view.rect.height));
    }
}

std::unique_ptr<DibCanvas> scaledPicture(int width, int height, const ViewFit& view) {
    auto canvas = madeCanvas(width, height);
    if (!canvas) return nullptr;
    std::fill(canvas->pixels(), canvas->pixels() + static_cast<std::size_t>(width) * height, backgroundColor);
    CanvasGraphics graphics(*canvas);
    drawScaledPicture(graphics.get(), view);
    return canvas;
}

// Copies the rows of `area` between a canvas and a buffer of the area's own
// width, or between two canvases of the same size.
void copyRows(const std::uint32_t* from, std::size_t fromStride, std::uint32_t* to, std::size_t toStride, int rows,
              int width) {
    for (int y = 0; y < rows; ++y) std::memcpy(to + y * toStride, from + y * fromStride, width * 4u);
}

std::uint32_t* at(const DibCanvas& canvas, const ClientArea& area) {
    return canvas.pixels() + static_cast<std::size_t>(area.top) * canvas.width() + area.left;
}

void copyArea(const DibCanvas& from, DibCanvas& to, const ClientArea& area) {
    copyRows(at(from, area), from.width(), at(to, area), to.width(), area.bottom - area.top, area.right - area.left);
}

// The view's transform, clip and smoothing for marks in image pixels, for
// as long as it lives.
class ViewScope {
public:
    ViewScope(Graphics& graphics, const ViewFit& view) : graphics_(graphics), saved_(graphics.Save()) {
        RectF shown(view.rect.x, view.rect.y, view.rect.width, view.rect.height);
        graphics.SetClip(shown, CombineModeIntersect);
        graphics.TranslateTransform(shown.X, shown.Y, MatrixOrderPrepend);
        graphics.ScaleTransform(view.scale, view.scale, MatrixOrderPrepend);
        graphics.SetSmoothingMode(SmoothingModeAntiAlias);
    }
    ~ViewScope() { graphics_.Restore(saved_); }
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;

private:
    Graphics& graphics_;
    GraphicsState saved_;
};

// The client pixels a mark may paint in the view, inside the canvas.
ClientArea viewArea(const Annotation& mark, const ViewFit& view, const DibCanvas& canvas) {
    Bitmap& base = *editorState.baseImage;
    MarkBox reach =
        markReach(mark, static_cast<float>(base.GetWidth()), static_cast<float>(base.GetHeight()));
    if (!(reach.width > 0.0f) || !(reach.height > 0.0f)) return {};
    MarkPoint topLeft = imageToClient({reach.left, reach.top}, view);
    MarkPoint bottomRight = imageToClient({reach.left + reach.width, reach.top + reach.height}, view);
    auto low = [](float value, int limit) {
        return std::clamp(static_cast<int>(std::floor(value)) - kEdgeMargin, 0, limit);
    };
    auto high = [](float value, int limit) {
        return std::clamp(static_cast<int>(std::ceil(value)) + kEdgeMargin, 0, limit);
    };
    return {low(topLeft.x, canvas.width()), low(topLeft.y, canvas.height()), high(bottomRight.x, canvas.width()),
            high(bottomRight.y, canvas.height())};
}

std::size_t unchangedCount(const std::vector<Annotation>& was, const std::vector<Annotation>& now) {
    auto differ = std::mismatch(was.begin(), was.end(), now.begin(), now.end());
    return static_cast<std::size_t>(differ.first - was.begin());
}

// Marks gone from the list since `marked` was drawn: their area is given
// back from the scaled picture and the first `kept` marks of the list that
// reach into it are drawn there again.
void takeOffMarks(std::size_t kept, const ViewFit& view) {
    ClientArea area;
    for (std::size_t i = kept; i < markedWith.size(); ++i) area.add(viewArea(markedWith[i], view, *marked));
    if (area.empty()) return;
    copyArea(*scaled.canvas, *marked, area);
    CanvasGraphics graphics(*marked);
    graphics.get().SetClip(Rect(area.left, area.top, area.right - area.left, area.bottom - area.top));
    ViewScope scope(graphics.get(), view);
    for (std::size_t i = 0; i < kept; ++i) {
        const Annotation& mark = editorState.annotations[i];
        if (viewArea(mark, view, *marked).meets(area)) drawAnnotation(graphics.get(), mark);
    }
}

void keepPixelsUnder(const Annotation& mark, const ViewFit& view, std::size_t listSize) {
    ClientArea area = viewArea(mark, view, *marked);
    int width = area.right - area.left, rows = area.bottom - area.top;
    underLast.area = area;
    try {
        underLast.pixels.resize(area.empty() ? 0 : static_cast<std::size_t>(width) * rows);
    } catch (const std::bad_alloc&) {
        underLast = UnderLastMark{};  // an undo then draws the area again instead
        return;
    }
    if (!area.empty()) copyRows(at(*marked, area), marked->width(), underLast.pixels.data(), width, rows, width);
    underLast.listSize = listSize;
}

void putPixelsBack() {
    const ClientArea& area = underLast.area;
    int width = area.right - area.left;
    if (!area.empty()) {
        copyRows(underLast.pixels.data(), width, at(*marked, area), marked->width(), area.bottom - area.top, width);
    }
}

// Brings `marked` to the list: what was taken off goes, what was added is
// drawn on top.
void followTheList(const ViewFit& view) {
    const std::vector<Annotation>& marks = editorState.annotations;
    std::size_t kept = unchangedCount(markedWith, marks);
    if (kept < markedWith.size()) {
        bool lastOneOff = kept + 1 == markedWith.size() && underLast.listSize == markedWith.size();
        if (lastOneOff) {
            putPixelsBack();
        } else {
            takeOffMarks(kept, view);
        }
    }
    if (kept < marks.size()) {
        if (kept + 1 == marks.size()) {
            keepPixelsUnder(marks.back(), view, marks.size());
        } else {
            underLast.listSize = 0;
        }
        CanvasGraphics graphics(*marked);
        drawMarksInView(graphics.get(), view, std::span(marks).subspan(kept));
    }
    markedWith = marks;
}

}  // namespace

const DibCanvas* shownPicture(int width, int height, const ViewFit& view) {
    bool withPicture = editorState.baseImage != nullptr;
    if (!scaled.fits(width, height, withPicture, view.rect)) {
        forgetShownPicture();
        scaled = {scaledPicture(width, height, view), width, height, withPicture, view.rect};
    }
    if (!marked && scaled.canvas) {
        marked = madeCanvas(width, height);
        if (marked) std::memcpy(marked->pixels(), scaled.canvas->pixels(), static_cast<std::size_t>(width) * height * 4);
    }
    if (!marked) {
        forgetShownPicture();  // tried again on the next paint
        return nullptr;
    }
    if (withPicture) followTheList(view);
    return marked.get();
}

void forgetShownPicture() {
    scaled = ScaledPicture{};
    marked.reset();
    markedWith.clear();
    underLast = UnderLastMark{};
    frame.reset();
}

KeptPicture keptPicture() {
    if (!scaled.withPicture || !marked) return {};
    return {scaled.canvas.get(), marked.get(), scaled.rect, markedWith};
}

DibCanvas* frameCanvas(int width, int height) {
    // Rounded up, so that most steps of a resize find the frame they need.
    auto side = [](int pixels) { return (pixels + kFrameSlack - 1) / kFrameSlack * kFrameSlack; };
    if (!frame || frame->width() != side(width) || frame->height() != side(height)) {
        frame = madeCanvas(side(width), side(height));
    }
    return frame.get();
}

void drawMarksInView(Graphics& graphics, const ViewFit& view, std::span<const Annotation> marks) {
    ViewScope scope(graphics, view);
    for (const Annotation& mark : marks) drawAnnotation(graphics, mark);
}

void drawWholePicture(Graphics& graphics, int width, int height, const ViewFit& view) {
    SolidBrush background{Color(backgroundColor)};
    graphics.FillRectangle(&background, 0, 0, width, height);
    if (!editorState.baseImage) return;
    drawScaledPicture(graphics, view);
    drawMarksInView(graphics, view, editorState.annotations);
}
