#pragma once
// Drawing into memory and looking at the result: colours, and comparison
// with stored PNG images.

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// 0xAARRGGBB pixels, rows top to bottom.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
    std::uint32_t at(int x, int y) const { return argb[static_cast<std::size_t>(y) * width + x]; }
};

// Filled into the memory bitmap before painting, so unpainted pixels show.
inline constexpr std::uint32_t kUnpainted = 0xFFFF00FF;

// A width x height memory DC, pre-filled with kUnpainted, handed to `paint`.
Pixels renderWith(int width, int height, const std::function<void(HDC)>& paint);

// The largest difference of one colour channel.
int channelDistance(std::uint32_t a, std::uint32_t b);

// How many pixels have a channel off by more than the tolerance; images of
// different sizes differ everywhere.
int compareImages(const Pixels& actual, const Pixels& expected, int tolerance);

// The pixels of a picture, as it holds them.
Pixels pixelsOf(Gdiplus::Bitmap& bitmap);

bool savePng(const Pixels& image, const std::wstring& path);
std::optional<Pixels> loadPng(const std::wstring& path);

}  // namespace testsupport
