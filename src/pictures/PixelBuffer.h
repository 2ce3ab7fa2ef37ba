#pragma once
// Decoded pixels as the conversion engine reads them: sRGB-encoded samples, straight
// (not premultiplied) alpha, rows from top to bottom, 8 or 16 bits per sample
// (16-bit samples in the machine's byte order).

#include <cstddef>
#include <cstdint>
#include <memory>

struct PixelBuffer {
    int width = 0;
    int height = 0;
    int channels = 0;       // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    int bitsPerChannel = 8; // 8 or 16
    size_t stride = 0;      // bytes from one row to the next
    std::unique_ptr<uint8_t[]> data;

    // A buffer of the given shape, or null when the size is absurd or memory is short.
    static std::shared_ptr<PixelBuffer> create(int width, int height, int channels, int bitsPerChannel);

    bool hasAlpha() const { return channels == 2 || channels == 4; }
    size_t bytesPerPixel() const { return size_t(channels) * size_t(bitsPerChannel / 8); }
    uint8_t *row(int y) { return data.get() + size_t(y) * stride; }
    const uint8_t *row(int y) const { return data.get() + size_t(y) * stride; }
};
