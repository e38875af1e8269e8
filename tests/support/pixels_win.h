#pragma once
// Drawing into memory and looking at the result: colours, and comparison
// with stored PNG images.

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/win_handles.h"

namespace testsupport {

// 0xAARRGGBB pixels, rows top to bottom.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
    std::uint32_t at(int x, int y) const { return argb[static_cast<std::size_t>(y) * width + x]; }
};

// A width x height top-down 32-bit DIB in a memory DC, pre-filled with a
// colour nothing draws (so unpainted pixels show), handed to `paint`.
inline Pixels renderWith(int width, int height, const std::function<void(HDC)>& paint) {
    DibCanvas canvas(width, height);
    if (!canvas.valid()) return {};
    Pixels image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0xFFFF00FF)};
    std::memcpy(canvas.pixels(), image.argb.data(), image.argb.size() * sizeof(std::uint32_t));
    paint(canvas.dc());
    GdiFlush();
    std::memcpy(image.argb.data(), canvas.pixels(), image.argb.size() * sizeof(std::uint32_t));
    // A DIB has no alpha of its own meaning; every painted pixel is opaque.
    for (std::uint32_t& pixel : image.argb) pixel |= 0xFF000000u;
    return image;
}

// The largest difference of one colour channel.
inline int channelDistance(std::uint32_t a, std::uint32_t b) {
    int largest = 0;
    for (int shift : {0, 8, 16, 24})
        largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return largest;
}

// How many pixels have a channel off by more than the tolerance; images of
// different sizes differ everywhere.
inline int compareImages(const Pixels& actual, const Pixels& expected, int tolerance) {
    if (actual.width != expected.width || actual.height != expected.height)
        return std::max(actual.width * actual.height, expected.width * expected.height);
    int differing = 0;
    for (std::size_t i = 0; i < actual.argb.size(); ++i) differing += channelDistance(actual.argb[i], expected.argb[i]) > tolerance;
    return differing;
}

// The pixels of a picture, as it holds them.
inline Pixels pixelsOf(Gdiplus::Bitmap& bitmap) {
    Pixels image{static_cast<int>(bitmap.GetWidth()), static_cast<int>(bitmap.GetHeight()), {}};
    image.argb.resize(static_cast<std::size_t>(image.width) * image.height);
    Gdiplus::Rect all(0, 0, image.width, image.height);
    Gdiplus::BitmapData data{static_cast<UINT>(image.width), static_cast<UINT>(image.height), image.width * 4,
                             PixelFormat32bppARGB, image.argb.data(), 0};
    bitmap.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB, &data);
    bitmap.UnlockBits(&data);
    return image;
}

inline std::optional<Pixels> loadPng(const std::wstring& path) {
    Gdiplus::Bitmap bitmap(path.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return std::nullopt;
    return pixelsOf(bitmap);
}

}  // namespace testsupport
