#pragma once
// The first step of flattening: the base image laid over opaque white, so the
// result is opaque wherever the base image is transparent.

#include <cstdint>

// Both are rows of 32-bit ARGB pixels (alpha in the top byte), `stride`
// bytes apart; width × height pixels of `target` are written.
void layOverWhite(const std::uint8_t* source, int sourceStride, std::uint8_t* target, int targetStride, int width,
                  int height);
