#pragma once
// The WebP and AVIF encoders behind encodeImage (ImageEncoders.h), and the 8-bit pixel
// layout both take.

#include "PixelBuffer.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

// AV1's quantizer runs from 0 (best) to 63; each is one quality step.
inline constexpr int kAvifSteps = 64;

// 8-bit interleaved RGB or RGBA rows: the pixels themselves when they are laid out so,
// otherwise a converted copy (grey spread to RGB, 16-bit samples rounded to 8 bits).
struct Rgb8Pixels {
    const uint8_t *data = nullptr;
    size_t stride = 0;
    int channels = 3;      // 3 or 4
    bool hasAlpha = false; // some pixel is not opaque: alpha must be written
    std::vector<uint8_t> storage;
};
Rgb8Pixels rgb8Pixels(const PixelBuffer &pixels);

// quality 0-100, libwebp's own scale.
QByteArray encodeWebp(const PixelBuffer &pixels, int quality);
// step 0-63: the AV1 quantizer 63 - step. threads 0: one per core.
QByteArray encodeAvif(const PixelBuffer &pixels, int step, int threads);
