#include "support/pixels_win.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/win_handles.h"

namespace testsupport {

namespace {

std::optional<CLSID> pngEncoder() {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0) return std::nullopt;
    std::vector<std::uint8_t> storage(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT index = 0; index < count; ++index) {
        if (std::wcscmp(codecs[index].MimeType, L"image/png") == 0) return codecs[index].Clsid;
    }
    return std::nullopt;
}

}  // namespace

// A top-down 32-bit DIB selected into a memory DC; `paint` draws into the DC
// and the pixels are read back.
Pixels renderWith(int width, int height, const std::function<void(HDC)>& paint) {
    DibCanvas canvas(width, height);
    Pixels image;
    if (!canvas.valid()) return image;
    image.width = width;
    image.height = height;
    image.argb.assign(static_cast<std::size_t>(width) * height, kUnpainted);
    std::memcpy(canvas.pixels(), image.argb.data(), image.argb.size() * sizeof(std::uint32_t));
    paint(canvas.dc());
    GdiFlush();
    std::memcpy(image.argb.data(), canvas.pixels(), image.argb.size() * sizeof(std::uint32_t));
    // A DIB has no alpha of its own meaning; every painted pixel is opaque.
    for (std::uint32_t& pixel : image.argb) pixel |= 0xFF000000u;
    return image;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int largest = 0;
    for (int shift : {0, 8, 16, 24}) {
        int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        largest = std::max(largest, std::abs(difference));
    }
    return largest;
}

int compareImages(const Pixels& actual, const Pixels& expected, int tolerance) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return std::max(actual.width * actual.height, expected.width * expected.height);
    }
    int differing = 0;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            differing += channelDistance(actual.at(x, y), expected.at(x, y)) > tolerance;
        }
    }
    return differing;
}

bool savePng(const Pixels& image, const std::wstring& path) {
    auto encoder = pngEncoder();
    if (!encoder || image.argb.empty()) return false;
    Gdiplus::Bitmap bitmap(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(image.argb.data())));
    return bitmap.Save(path.c_str(), &*encoder, nullptr) == Gdiplus::Ok;
}

Pixels pixelsOf(Gdiplus::Bitmap& bitmap) {
    Pixels image{static_cast<int>(bitmap.GetWidth()), static_cast<int>(bitmap.GetHeight()), {}};
    image.argb.resize(static_cast<std::size_t>(image.width) * image.height);
    Gdiplus::Rect all(0, 0, image.width, image.height);
    Gdiplus::BitmapData data{static_cast<UINT>(image.width), static_cast<UINT>(image.height), image.width * 4,
                             PixelFormat32bppARGB, image.argb.data(), 0};
    bitmap.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB, &data);
    bitmap.UnlockBits(&data);
    return image;
}

std::optional<Pixels> loadPng(const std::wstring& path) {
    Gdiplus::Bitmap bitmap(path.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return std::nullopt;
    return pixelsOf(bitmap);
}

}  // namespace testsupport
