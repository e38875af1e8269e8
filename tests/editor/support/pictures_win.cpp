#include "editor/support/pictures_win.h"

#include <gtest/gtest.h>
#include <objbase.h>

namespace editortest {

namespace {

// COM and GDI+ for the whole test program.
class GraphicsSession : public ::testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    void TearDown() override {
        Gdiplus::GdiplusShutdown(token_);
        CoUninitialize();
    }

private:
    ULONG_PTR token_ = 0;
};

[[maybe_unused]] auto* const session = ::testing::AddGlobalTestEnvironment(new GraphicsSession);

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> filledPicture(int width, int height, std::uint32_t argb) {
    auto picture = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(picture.get());
    graphics.Clear(Gdiplus::Color(argb));
    return picture;
}

std::uint32_t patternColour(int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>((x * 7) % 256) << 16 |
           static_cast<std::uint32_t>((y * 11) % 256) << 8 | static_cast<std::uint32_t>((x * 3 + y * 5) % 256);
}

std::unique_ptr<Gdiplus::Bitmap> patternedPicture(int width, int height) {
    auto picture = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect whole(0, 0, width, height);
    picture->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < width; ++x) row[x] = patternColour(x, y);
    }
    picture->UnlockBits(&data);
    return picture;
}

std::uint32_t pixel(Gdiplus::Bitmap& bitmap, int x, int y) {
    Gdiplus::Color colour;
    bitmap.GetPixel(x, y, &colour);
    return colour.GetValue();
}

Annotation mark(AnnotationKind kind, float x1, float y1, float x2, float y2, std::uint32_t color, float thickness) {
    Annotation made;
    made.kind = kind;
    made.x1 = x1;
    made.y1 = y1;
    made.x2 = x2;
    made.y2 = y2;
    made.color = color;
    made.thickness = thickness;
    made.points.push_back({x1, y1});
    return made;
}

int countColour(Gdiplus::Bitmap& bitmap, std::uint32_t colour, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) count += pixel(bitmap, x, y) == colour;
    return count;
}

}  // namespace editortest
