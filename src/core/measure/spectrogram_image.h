// The grayscale spectrogram image, without Qt: every pixel is the level of
// its frame and bin relative to the bin's mean noise level, mapped through the
// level axis's range (LevelToGrayValue). The widget supplies, per pixel row,
// the frequency its frequency axis shows there and, per pixel column, the time
// of its time axis, and copies the finished pixels to the screen.
#pragma once

#include "core/measure/spectrogram.h"

#include <cstdint>
#include <span>

namespace ravlon {

// 0xAARRGGBB of gray c.
constexpr uint32_t GrayPixel(int c) {
    auto v = static_cast<uint32_t>(c);
    return 0xFF000000u | (v << 16) | (v << 8) | v;
}

// Draws the image into pixels (row y at pixels + y * stride, width =
// colTime.size(), height = rowFreq.size()), which the caller has filled white.
// Rows that map to the same bin as the row above are copied. The first pixel
// whose value cannot be formed (a frame without spectra, a bin without noise
// reference, a zero level, a level axis without range) ends the image; the
// remaining pixels stay as they are. Returns the number of pixels drawn.
// Bins and frames are clipped to the store. The store's noise reference must
// already be updated for this paint.
int64_t RenderSpectrogram(const TSpectrogram& store, std::span<const double> rowFreq,
                          std::span<const double> colTime, double levelLo, double levelHi,
                          uint32_t* pixels, int64_t stride);

} // namespace ravlon
