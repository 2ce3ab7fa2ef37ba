#pragma once
// Small synthetic pictures for the engine's tests.

#include "PhotoManipulator.h"
#include "Picture.h"
#include "PixelBuffer.h"

#include <array>
#include <functional>
#include <memory>
#include <vector>

using Rgb = std::array<int, 3>;

inline std::shared_ptr<PixelBuffer> makeBuffer(int w, int h, const std::function<Rgb(int x, int y)> &colourAt)
{
    auto buffer = PixelBuffer::create(w, h, 3, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colourAt(x, y);
            for (int k = 0; k < 3; ++k)
                buffer->row(y)[x * 3 + k] = uint8_t(c[size_t(k)]);
        }
    return buffer;
}

inline std::shared_ptr<const Picture> makePicture(int w, int h, const std::function<Rgb(int x, int y)> &colourAt)
{
    return Picture::fromPixels(makeBuffer(w, h, colourAt));
}

inline std::shared_ptr<const Picture> flatPicture(int w, int h, Rgb colour)
{
    return makePicture(w, h, [colour](int, int) { return colour; });
}

// An engine whose settings leave colours alone.
struct NeutralEngine : PhotoManipulator {
    NeutralEngine()
    {
        contrastFactor = saturationFactor = 1.0f;
        temperatureFactor = 6500.0f;
    }
};

// The chain's steps of one kind, from its output back to its source.
inline std::vector<const FilterImage *> stepsOf(const FilterImagePtr &chain, FilterImage::Kind kind)
{
    std::vector<const FilterImage *> steps;
    for (const FilterImage *node = chain.get(); node; node = node->input().get())
        if (node->kind() == kind)
            steps.push_back(node);
    return steps;
}

inline Rgb pixelAt(const PixelBuffer &buffer, int x, int y)
{
    const uint8_t *p = buffer.row(y) + size_t(x) * size_t(buffer.channels);
    return {p[0], p[1], p[2]};
}
