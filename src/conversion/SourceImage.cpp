#include "SourceImage.h"

#include "CanvasImageRep.h"
#include "ColourOps.h"
#include "Log.h"
#include "Picture.h"
#include "SrgbTables.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

QSize sourceSizeOf(const Picture &picture)
{
    const QSize pixels = picture.sourcePixelSize();
    if (pixels.width() > 0 && pixels.height() > 0)
        return pixels;
    return QSize(int(std::lround(picture.size().width())), int(std::lround(picture.size().height())));
}

namespace {

std::shared_ptr<const ImageRep> lastBitmapRep(const Picture &picture)
{
    const auto &reps = picture.representations();
    for (auto it = reps.rbegin(); it != reps.rend(); ++it)
        if ((*it)->hasPixels())
            return *it;
    return nullptr;
}

int shiftFor(double scale)
{
    int shift = 0;
    while (shift < 3 && scale > 0.0 && scale * double(2 << shift) <= 0.5)
        ++shift;
    return shift;
}

// The factor by which a level is smaller than the source, as a power of two.
int factorOf(const PixelBuffer &level, QSize source)
{
    const double ratio = double(source.width()) / std::max(1, level.width);
    int factor = 1;
    while (factor < 8 && ratio >= factor * 1.5)
        factor *= 2;
    return factor;
}

std::shared_ptr<const PixelBuffer> reducedLevel(const Picture &picture, const ImageRep &rep, int shift, bool cache, int &factor)
{
    const QSize size(rep.pixelsWide(), rep.pixelsHigh());
    const std::string key = "conversion.level" + std::to_string(shift);
    if (cache) {
        if (auto kept = std::static_pointer_cast<const PixelBuffer>(picture.cachedData(key))) {
            factor = factorOf(*kept, size);
            return kept;
        }
    }
    std::shared_ptr<const PixelBuffer> level = rep.pixelsReduced(shift);
    if (!level)
        return nullptr;
    factor = factorOf(*level, size);
    // Reduced whether kept or not, so a render gives the same pixels with and without caching.
    if (factor < (1 << shift)) {
        int have = 0;
        while ((1 << have) < factor)
            ++have;
        if (auto reduced = boxReduce(*level, shift - have)) {
            level = reduced;
            factor = 1 << shift;
        }
    }
    if (cache)
        picture.setCachedData(key, std::const_pointer_cast<PixelBuffer>(level));
    return level;
}

} // namespace

SourcePixels sourcePixelsFor(const std::shared_ptr<const Picture> &picture, double scale, bool cacheLevels)
{
    SourcePixels source;
    if (!picture)
        return source;
    source.sourceSize = sourceSizeOf(*picture);
    const auto rep = lastBitmapRep(*picture);
    if (!rep) {
        if (!picture->representations().empty() && !source.sourceSize.isEmpty())
            source.pixels = picture->representations().back()->render(source.sourceSize.width(), source.sourceSize.height());
        return source;
    }
    if (auto canvas = std::dynamic_pointer_cast<const CanvasImageRep>(rep)) {
        source.canvas = true;
        source.offset = canvas->offset();
        // From the colour's floating-point levels: grey at white level 0.5 is exactly
        // half-way, finer than 8 bits can say.
        const QColor fill = canvas->fill().toRgb();
        const double levels[3] = {fill.redF(), fill.greenF(), fill.blueF()};
        for (int c = 0; c < 3; ++c)
            source.fill[c] = float(colour::srgbToLinear(levels[c]));
        const auto inner = canvas->picture();
        if (inner) {
            const auto innerRep = lastBitmapRep(*inner);
            source.pixels = innerRep ? innerRep->pixels() : nullptr;
        }
        return source;
    }
    const int shift = shiftFor(scale);
    if (shift > 0) {
        source.pixels = reducedLevel(*picture, *rep, shift, cacheLevels, source.factor);
        if (source.pixels)
            return source;
    }
    source.pixels = rep->pixels();
    source.factor = 1;
    return source;
}

std::shared_ptr<PixelBuffer> boxReduce(const PixelBuffer &source, int shift)
{
    shift = std::max(shift, 0);
    const int f = 1 << shift;
    const int w = (source.width + f - 1) / f, h = (source.height + f - 1) / f;
    auto out = PixelBuffer::create(w, h, source.channels, 16);
    if (!out)
        return nullptr;
    const int ch = source.channels;
    const bool alpha = source.hasAlpha();
    const int colours = alpha ? ch - 1 : ch;
    const float *lut8 = srgb::toLinear8();
    const float *lut16 = srgb::toLinear16();
    auto sample = [&](const uint8_t *row, int x, int c) -> float {
        if (source.bitsPerChannel == 8)
            return c < colours ? lut8[row[x * ch + c]] : row[x * ch + c] / 255.0f;
        const uint16_t v = reinterpret_cast<const uint16_t *>(row)[x * ch + c];
        return c < colours ? lut16[v] : v / 65535.0f;
    };
    std::vector<double> acc(size_t(w) * ch);
    std::vector<double> weight(w);
    for (int oy = 0; oy < h; ++oy) {
        std::fill(acc.begin(), acc.end(), 0.0);
        std::fill(weight.begin(), weight.end(), 0.0);
        for (int y = oy * f; y < std::min(source.height, (oy + 1) * f); ++y) {
            const uint8_t *row = source.row(y);
            for (int x = 0; x < source.width; ++x) {
                const int ox = x / f;
                const float a = alpha ? sample(row, x, ch - 1) : 1.0f;
                for (int c = 0; c < colours; ++c)
                    acc[size_t(ox) * ch + c] += double(sample(row, x, c)) * a;
                if (alpha)
                    acc[size_t(ox) * ch + ch - 1] += a;
                weight[ox] += 1.0;
            }
        }
        uint16_t *dst = reinterpret_cast<uint16_t *>(out->row(oy));
        for (int ox = 0; ox < w; ++ox) {
            const double n = weight[ox];
            const double a = alpha ? acc[size_t(ox) * ch + ch - 1] : n;
            for (int c = 0; c < colours; ++c)
                dst[ox * ch + c] = a > 0.0 ? srgb::toSample16(float(acc[size_t(ox) * ch + c] / a)) : 0;
            if (alpha)
                dst[ox * ch + ch - 1] = uint16_t(std::lround(a / n * 65535.0));
        }
    }
    return out;
}
