#pragma once
// Small owners for Win32 handles, so no path leaks one.

#include <windows.h>

#include <cstdint>
#include <utility>

template <typename Handle, typename Traits>
class UniqueWinHandle {
public:
    UniqueWinHandle() = default;
    explicit UniqueWinHandle(Handle handle) : handle_(handle) {}
    ~UniqueWinHandle() { reset(); }
    UniqueWinHandle(UniqueWinHandle&& other) noexcept : handle_(other.release()) {}
    UniqueWinHandle& operator=(UniqueWinHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueWinHandle(const UniqueWinHandle&) = delete;
    UniqueWinHandle& operator=(const UniqueWinHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::valid(handle_); }
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    void reset(Handle handle = Traits::invalid()) {
        if (Traits::valid(handle_)) Traits::close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::invalid();
};

struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueWinHandle<HANDLE, KernelHandleTraits>;

template <typename Object>
struct GdiObjectTraits {
    static Object invalid() { return nullptr; }
    static bool valid(Object o) { return o != nullptr; }
    static void close(Object o) { DeleteObject(o); }
};
template <typename Object>
using GdiObject = UniqueWinHandle<Object, GdiObjectTraits<Object>>;

struct WindowDcTraits {
    static HDC invalid() { return nullptr; }
    static bool valid(HDC dc) { return dc != nullptr; }
    static void close(HDC dc) { DeleteDC(dc); }
};
using MemoryDc = UniqueWinHandle<HDC, WindowDcTraits>;

// GetDC / ReleaseDC pair.
class ScreenDc {
public:
    explicit ScreenDc(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint pair.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// A top-down 32-bit DIB section selected into a memory DC of its own, so
// that GDI (BitBlt, AlphaBlend) and GDI+ (over pixels()) share one pixel
// buffer without copies. Pixels start out zero, which is transparent black.
class DibCanvas {
public:
    DibCanvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)), width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (dc_) bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
        if (bitmap_) previous_ = SelectObject(dc_.get(), bitmap_.get());
    }
    ~DibCanvas() {
        if (previous_) SelectObject(dc_.get(), previous_);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    bool valid() const { return bits_ != nullptr && previous_ != nullptr; }
    HDC dc() const { return dc_.get(); }
    std::uint32_t* pixels() const { return static_cast<std::uint32_t*>(bits_); }
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_ * 4; }

private:
    MemoryDc dc_;
    GdiObject<HBITMAP> bitmap_;
    void* bits_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    int width_;
    int height_;
};
