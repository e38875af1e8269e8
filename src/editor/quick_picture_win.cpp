#include "editor/quick_picture_win.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "app/drawing_kit.h"
#include "app/win_handles.h"
#include "editor/bitmap_lock_win.h"
#include "editor/editor_state.h"
#include "editor/shown_picture_win.h"

namespace {

// The marks of the last exact picture over its place, their pixels opaque
// and the rest transparent, and the list they show.
struct LiftedMarks {
    std::unique_ptr<DibCanvas> pixels;
    std::vector<Annotation> marks;
};

LiftedMarks lifted;

COLORREF gdiColour(Gdiplus::ARGB argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

RECT wholePixels(const ViewRect& rect) {
    return {std::lround(rect.x), std::lround(rect.y), std::lround(rect.x + rect.width),
            std::lround(rect.y + rect.height)};
}

// GDI reads the base image's own memory: locked in its own layout it is
// neither copied nor converted.
bool stretchBaseImage(HDC target, const RECT& place) {
    Gdiplus::Bitmap& base = *editorState.baseImage;
    int width = static_cast<int>(base.GetWidth()), height = static_cast<int>(base.GetHeight());
    Gdiplus::PixelFormat layout =
        base.GetPixelFormat() == PixelFormat32bppRGB ? PixelFormat32bppRGB : PixelFormat32bppARGB;
    BitmapLock pixels(base, Gdiplus::ImageLockModeRead, Gdiplus::Rect(0, 0, width, height), layout);
    if (!pixels.locked() || pixels.stride() <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.stride() / 4;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int previousMode = SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);  // halftoning wants it set after the mode
    StretchDIBits(target, place.left, place.top, place.right - place.left, place.bottom - place.top, 0, 0, width,
                  height, pixels.bytes(), &info, DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(target, previousMode);
    return true;
}

// Where the kept picture with marks differs from the one without, a mark
// lies: those pixels are taken as they are, edges blended with the picture
// under them included.
LiftedMarks liftMarks() {
    KeptPicture kept = keptPicture();
    if (!kept.marked || !std::equal(kept.marks.begin(), kept.marks.end(), editorState.annotations.begin(),
                                     editorState.annotations.end())) {
        return {};
    }
    RECT place = wholePixels(kept.rect);
    int width = place.right - place.left, height = place.bottom - place.top;
    if (width <= 0 || height <= 0 || place.left < 0 || place.top < 0 || place.right > kept.marked->width() ||
        place.bottom > kept.marked->height()) {
        return {};
    }
    auto layer = std::make_unique<DibCanvas>(width, height);
    if (!layer->valid()) return {};
    for (int y = 0; y < height; ++y) {
        std::size_t from = static_cast<std::size_t>(place.top + y) * kept.marked->width() + place.left;
        const std::uint32_t* plain = kept.plain->pixels() + from;
        const std::uint32_t* marked = kept.marked->pixels() + from;
        std::uint32_t* out = layer->pixels() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) out[x] = marked[x] != plain[x] ? marked[x] | 0xFF000000u : 0u;
    }
    return {std::move(layer), editorState.annotations};
}

// False when the marks could not be lifted off the last exact picture, or
// the list has changed since.
bool stretchLiftedMarks(HDC target, const RECT& place) {
    if (!lifted.pixels) lifted = liftMarks();
    if (!lifted.pixels || lifted.marks != editorState.annotations) return false;
    const DibCanvas& layer = *lifted.pixels;
    BLENDFUNCTION over{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(target, place.left, place.top, place.right - place.left, place.bottom - place.top, layer.dc(), 0, 0,
               layer.width(), layer.height(), over);
    return true;
}

}  // namespace

FrameStart drawQuickPicture(HDC target, int width, int height, const ViewFit& view) {
    if (!editorState.baseImage) return FrameStart::Empty;
    RECT client{0, 0, width, height};
    GdiObject<HBRUSH> background(CreateSolidBrush(gdiColour(backgroundColor)));
    FillRect(target, &client, background.get());
    RECT place = wholePixels(view.rect);
    if (!stretchBaseImage(target, place)) return FrameStart::Empty;
    bool withMarks = editorState.annotations.empty() || stretchLiftedMarks(target, place);
    GdiFlush();  // GDI+ draws on the same pixels next
    return withMarks ? FrameStart::PictureWithMarks : FrameStart::Picture;
}

void forgetQuickPicture() {
    lifted = LiftedMarks{};
}
