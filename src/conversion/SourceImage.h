#pragma once
// What the renderer reads at the start of a chain: a picture's bitmap, possibly a
// pre-shrunk level of it, or a virtual canvas.

#include "PixelBuffer.h"

#include <QPoint>
#include <QSize>
#include <memory>

class Picture;

// The size the chain measures: the source pixel size, or for a picture without pixels
// (a vector page) its size in points, rounded, at which it is then drawn.
QSize sourceSizeOf(const Picture &picture);

struct SourcePixels {
    std::shared_ptr<const PixelBuffer> pixels; // null when the picture gave none
    int factor = 1;                            // each pixel stands for factor x factor source pixels
    QSize sourceSize;                          // the full source size, in source pixels
    // A virtual canvas: pixels is the picture placed at offset (from the lower left) on a
    // canvas of sourceSize filled with fill (linear RGB).
    bool canvas = false;
    QPoint offset;
    float fill[3] = {1.0f, 1.0f, 1.0f};
};

// scale: the factor the chain will scale by. A level pre-shrunk by 2^k is taken only
// while Lanczos keeps at least a factor of two to do (scale x 2^k <= 1/2). Levels the
// decoder cannot make are box-reduced in linear light; with cacheLevels they are kept with
// the picture for the next render.
SourcePixels sourcePixelsFor(const std::shared_ptr<const Picture> &picture, double scale, bool cacheLevels);

// Box reduction by 2^shift in linear light (alpha-weighted), to 16-bit sRGB samples.
std::shared_ptr<PixelBuffer> boxReduce(const PixelBuffer &source, int shift);
