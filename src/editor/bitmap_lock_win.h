#pragma once
// BitmapLockBits / BitmapUnlockBits pair over 32-bit pixels, ARGB unless
// told otherwise. A lock in the bitmap's own format reads its memory in
// place instead of a converted copy.

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>

class BitmapLock {
public:
    // The whole bitmap.
    BitmapLock(Gdiplus::Bitmap& bitmap, Gdiplus::ImageLockMode mode)
        : BitmapLock(bitmap, mode,
                     Gdiplus::Rect(0, 0, static_cast<INT>(bitmap.GetWidth()), static_cast<INT>(bitmap.GetHeight()))) {}
    BitmapLock(Gdiplus::Bitmap& bitmap, Gdiplus::ImageLockMode mode, Gdiplus::Rect area,
               Gdiplus::PixelFormat format = PixelFormat32bppARGB)
        : bitmap_(bitmap) {
        locked_ = bitmap.LockBits(&area, mode, format, &data_) == Gdiplus::Ok;
    }
    ~BitmapLock() {
        if (locked_) bitmap_.UnlockBits(&data_);
    }
    BitmapLock(const BitmapLock&) = delete;
    BitmapLock& operator=(const BitmapLock&) = delete;

    bool locked() const { return locked_; }
    int width() const { return static_cast<int>(data_.Width); }
    int height() const { return static_cast<int>(data_.Height); }
    int stride() const { return data_.Stride; }
    std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(data_.Scan0); }

private:
    Gdiplus::Bitmap& bitmap_;
    Gdiplus::BitmapData data_{};
    bool locked_ = false;
};
