#pragma once
// Renders a described image (FilterImage.h) into a bitmap. The chain is compiled into one
// plan: a source sampler (the bitmap, a pre-shrunk level of it or a virtual canvas; the
// clamp is index clamping), one fused colour pass in linear light, Lanczos as two
// separable passes, luminance sharpening on the scaled rows, and the crop deciding which
// output pixels are computed at all. Output rows are made in bands, on all cores.
//
// A fractional output side (600 x 337.5) is rounded to the nearest whole pixel, halves
// away from zero (338), and at least 1; the pixel grid starts at the rectangle's
// lower-left corner. The same rule is used wherever the program compares output sizes.

#include "FilterImage.h"
#include "PixelBuffer.h"

#include <memory>

struct RenderOptions {
    int threads = 0;          // 0: all cores
    bool cacheLevels = false; // keep pre-shrunk levels with the picture (repeated renders)
};

// The most pixels one render makes: 16384 x 16384, about 1 GB of 8-bit RGBA.
inline constexpr long long kMaxRenderedPixels = 1LL << 28;

// The whole-pixel count of a rendered side (see above); 0 for a side that is not above 0.
int renderedLength(double side);

// 8-bit sRGB, RGB, or RGBA when the source has transparency. Null, with a log line, when
// the image cannot be rendered (no finite rectangle, an empty or absurd size, no pixels).
std::shared_ptr<PixelBuffer> renderImage(const FilterImagePtr &image, const RenderOptions &options = {});
