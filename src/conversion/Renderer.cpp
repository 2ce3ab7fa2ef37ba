#include "Renderer.h"

#include "ColourOps.h"
#include "Lanczos.h"
#include "Log.h"
#include "Parallel.h"
#include "Simd.h"
#include "SourceImage.h"
#include "SrgbTables.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

typedef float v4 __attribute__((vector_size(16)));

constexpr long long kMaxWeights = 1LL << 27;

struct Plan {
    SourcePixels source;
    bool clampEdges = false;
    std::unique_ptr<ColourPipeline> colours;
    double scaleX = 1.0, scaleY = 1.0;
    bool sharpen = false;
    float sharpness = 0.0f;
    QRectF rect;
    int outW = 0, outH = 0;
    int halo = 0;
    int levelW = 0, levelH = 0;
    bool alpha = false;
    FilterWeights horizontal, vertical;
};

bool compile(const FilterImagePtr &image, Plan &plan)
{
    FilterImagePtr node = image;
    if (node->kind() == FilterImage::Kind::Crop) {
        plan.rect = node->extent();
        node = node->input();
    } else if (!node->isInfinite()) {
        plan.rect = node->extent();
    } else {
        qpLog(QStringLiteral("cannot render an image without limits; crop it first"));
        return false;
    }
    if (node && node->kind() == FilterImage::Kind::Sharpen) {
        // Held like the colour factors, so an absurd sharpness cannot overflow a pixel.
        const double sharpness = node->sharpness();
        plan.sharpness = std::isnan(sharpness) ? 0.0f : float(std::clamp(sharpness, -1000.0, 1000.0));
        plan.sharpen = plan.sharpness != 0.0f;
        node = node->input();
    }
    if (node && node->kind() == FilterImage::Kind::Scale) {
        plan.scaleY = node->scale();
        plan.scaleX = node->scale() * node->aspectRatio();
        node = node->input();
    }
    std::vector<ColourOp> ops;
    while (node && (node->kind() == FilterImage::Kind::Colour || node->kind() == FilterImage::Kind::Clamp)) {
        if (node->kind() == FilterImage::Kind::Clamp)
            plan.clampEdges = true;
        else
            ops.push_back(node->colourOp());
        node = node->input();
    }
    if (!node || node->kind() != FilterImage::Kind::Source) {
        qpLog(QStringLiteral("cannot render this filter chain"));
        return false;
    }
    if (!(plan.scaleX > 0.0) || !(plan.scaleY > 0.0) || !std::isfinite(plan.scaleX) || !std::isfinite(plan.scaleY)) {
        qpLog(QStringLiteral("cannot render a scale of %1").arg(plan.scaleY));
        return false;
    }
    std::reverse(ops.begin(), ops.end());
    plan.colours = std::make_unique<ColourPipeline>(ops);
    plan.outW = renderedLength(plan.rect.width());
    plan.outH = renderedLength(plan.rect.height());
    if (plan.outW <= 0 || plan.outH <= 0) {
        qpLog(QStringLiteral("nothing to render: the rectangle is empty"));
        return false;
    }
    if (!std::isfinite(plan.rect.x()) || !std::isfinite(plan.rect.y()) || (long long)plan.outW * plan.outH > kMaxRenderedPixels) {
        qpLog(QStringLiteral("cannot render %1 x %2 pixels").arg(plan.rect.width()).arg(plan.rect.height()));
        return false;
    }
    return true;
}

// One row of the source (or the canvas) as linear planar RGB and alpha, columns x0..x1.
class RowReader {
public:
    explicit RowReader(const Plan &plan) : plan_(plan), pixels_(*plan.source.pixels) {}

    void read(int y, int x0, int x1, float *r, float *g, float *b, float *a) const
    {
        const int n = x1 - x0 + 1;
        if (!plan_.source.canvas) {
            readPixels(pixels_.row(y), x0, n, r, g, b, a);
            return;
        }
        // The canvas: fill, then the picture composited over it where it lies.
        std::fill(r, r + n, plan_.source.fill[0]);
        std::fill(g, g + n, plan_.source.fill[1]);
        std::fill(b, b + n, plan_.source.fill[2]);
        std::fill(a, a + n, 1.0f);
        const int top = plan_.levelH - plan_.source.offset.y() - pixels_.height;
        const int py = y - top;
        if (py < 0 || py >= pixels_.height)
            return;
        const int left = plan_.source.offset.x();
        const int c0 = std::max(x0, left), c1 = std::min(x1, left + pixels_.width - 1);
        if (c0 > c1)
            return;
        const int m = c1 - c0 + 1;
        const size_t count = size_t(m);
        std::vector<float> pr(count), pg(count), pb(count), pa(count);
        readPixels(pixels_.row(py), c0 - left, m, pr.data(), pg.data(), pb.data(), pa.data());
        for (int i = 0; i < m; ++i) {
            const int k = c0 - x0 + i;
            const float al = pa[size_t(i)];
            r[k] = al * pr[size_t(i)] + (1.0f - al) * r[k];
            g[k] = al * pg[size_t(i)] + (1.0f - al) * g[k];
            b[k] = al * pb[size_t(i)] + (1.0f - al) * b[k];
        }
    }

    // 8-bit RGB straight into packed linear pixels, the common case.
    bool canReadPacked() const { return !plan_.source.canvas && pixels_.bitsPerChannel == 8 && pixels_.channels == 3; }
    void readPacked(int y, int x0, int n, v4 *out) const
    {
        const float *lut = srgb::toLinear8();
        const uint8_t *p = pixels_.row(y) + size_t(x0) * 3;
        for (int i = 0; i < n; ++i, p += 3)
            out[i] = v4{lut[p[0]], lut[p[1]], lut[p[2]], 1.0f};
    }

private:
    void readPixels(const uint8_t *row, int x0, int n, float *r, float *g, float *b, float *a) const
    {
        const int ch = pixels_.channels;
        if (pixels_.bitsPerChannel == 8) {
            const float *lut = srgb::toLinear8();
            const uint8_t *p = row + size_t(x0) * size_t(ch);
            switch (ch) {
            case 3:
                for (int i = 0; i < n; ++i, p += 3) {
                    r[i] = lut[p[0]];
                    g[i] = lut[p[1]];
                    b[i] = lut[p[2]];
                }
                std::fill(a, a + n, 1.0f);
                return;
            case 4:
                for (int i = 0; i < n; ++i, p += 4) {
                    r[i] = lut[p[0]];
                    g[i] = lut[p[1]];
                    b[i] = lut[p[2]];
                    a[i] = p[3] * (1.0f / 255.0f);
                }
                return;
            default:
                for (int i = 0; i < n; ++i, p += ch) {
                    r[i] = g[i] = b[i] = lut[p[0]];
                    a[i] = ch == 2 ? p[1] * (1.0f / 255.0f) : 1.0f;
                }
                return;
            }
        }
        const float *lut = srgb::toLinear16();
        const uint16_t *p = reinterpret_cast<const uint16_t *>(row) + size_t(x0) * size_t(ch);
        for (int i = 0; i < n; ++i, p += ch) {
            if (ch >= 3) {
                r[i] = lut[p[0]];
                g[i] = lut[p[1]];
                b[i] = lut[p[2]];
            } else {
                r[i] = g[i] = b[i] = lut[p[0]];
            }
            a[i] = ch == 4 ? p[3] * (1.0f / 65535.0f) : ch == 2 ? p[1] * (1.0f / 65535.0f) : 1.0f;
        }
    }

    const Plan &plan_;
    const PixelBuffer &pixels_;
};


QP_HOT void horizontalPass(const FilterWeights &fw, const v4 *in, v4 *out)
{
    for (int i = 0; i < fw.count; ++i) {
        const float *w = fw.of(i);
        const v4 *p = in + fw.start[size_t(i)] - fw.firstSource;
        const int n = fw.length[size_t(i)];
        // Four sums in flight, so the adds do not wait on one another.
        v4 a0 = {0, 0, 0, 0}, a1 = a0, a2 = a0, a3 = a0;
        int k = 0;
        for (; k + 4 <= n; k += 4) {
            a0 += w[k] * p[k];
            a1 += w[k + 1] * p[k + 1];
            a2 += w[k + 2] * p[k + 2];
            a3 += w[k + 3] * p[k + 3];
        }
        for (; k < n; ++k)
            a0 += w[k] * p[k];
        out[i] = (a0 + a1) + (a2 + a3);
    }
}

QP_HOT void verticalPass(const float *w, const v4 *const *rows, int taps, int nCols, v4 *acc)
{
    int k = 0;
    for (; k + 1 < taps; k += 2) {
        const v4 *a = rows[k], *b = rows[k + 1];
        const float wa = w[k], wb = w[k + 1];
        for (int c = 0; c < nCols; ++c)
            acc[c] += wa * a[c] + wb * b[c];
    }
    if (k < taps) {
        const v4 *a = rows[k];
        const float wa = w[k];
        for (int c = 0; c < nCols; ++c)
            acc[c] += wa * a[c];
    }
}

// Unsharp mask on luma at output resolution: the luma minus its blur by the binomial
// kernel [1 4 6 4 1] / 16 (about one pixel of radius), times the sharpness, added to each
// channel, so colours keep their chroma and only light and dark edges grow. Rows stream
// through a ring of five, so no band-sized buffer is needed.
class Sharpener {
public:
    Sharpener(const Plan &plan, int nCols) : plan_(plan), nCols_(nCols)
    {
        for (int k = 0; k < 5; ++k) {
            rows_[k].reset(new v4[size_t(nCols)]);
            luma_[k].reset(new float[size_t(nCols)]);
            blurH_[k].reset(new float[size_t(nCols)]);
        }
        out_.reset(new v4[size_t(plan.outW)]);
    }
    v4 *slot(int j) { return rows_[j % 5].get(); }
    // Row j (of the vertical weights) is complete: derive its luma and horizontal blur.
    void finish(int j)
    {
        const v4 *px = rows_[j % 5].get();
        float *y = luma_[j % 5].get(), *h = blurH_[j % 5].get();
        for (int c = 0; c < nCols_; ++c)
            y[c] = colour::kLumaR * px[c][0] + colour::kLumaG * px[c][1] + colour::kLumaB * px[c][2];
        for (int c = 2; c < nCols_ - 2; ++c)
            h[c] = (y[c - 2] + y[c + 2] + 4.0f * (y[c - 1] + y[c + 1]) + 6.0f * y[c]) * (1.0f / 16.0f);
    }
    // The sharpened row centred on weights row j (rows j - 2 .. j + 2 finished).
    const v4 *sharpen(int j)
    {
        const float *h[5];
        for (int t = 0; t < 5; ++t)
            h[t] = blurH_[(j - 2 + t) % 5].get();
        const v4 *px = rows_[j % 5].get();
        const float *y = luma_[j % 5].get();
        for (int o = 0; o < plan_.outW; ++o) {
            const int c = o + 2;
            const float blur = (h[0][c] + h[4][c] + 4.0f * (h[1][c] + h[3][c]) + 6.0f * h[2][c]) * (1.0f / 16.0f);
            const float d = plan_.sharpness * (y[c] - blur);
            out_[size_t(o)] = px[c] + v4{d, d, d, 0.0f};
        }
        return out_.get();
    }

private:
    const Plan &plan_;
    int nCols_;
    std::unique_ptr<v4[]> rows_[5];
    std::unique_ptr<float[]> luma_[5], blurH_[5];
    std::unique_ptr<v4[]> out_;
};

void storeRow(const Plan &plan, const v4 *px, uint8_t *dst)
{
    if (!plan.alpha) {
        for (int j = 0; j < plan.outW; ++j, dst += 3) {
            dst[0] = srgb::toSample8(px[j][0]);
            dst[1] = srgb::toSample8(px[j][1]);
            dst[2] = srgb::toSample8(px[j][2]);
        }
        return;
    }
    for (int j = 0; j < plan.outW; ++j, dst += 4) {
        const float a = std::clamp(px[j][3], 0.0f, 1.0f);
        const float inv = a > 1e-6f ? 1.0f / a : 0.0f;
        dst[0] = srgb::toSample8(px[j][0] * inv);
        dst[1] = srgb::toSample8(px[j][1] * inv);
        dst[2] = srgb::toSample8(px[j][2] * inv);
        dst[3] = uint8_t(std::lround(a * 255.0f));
    }
}

// Rows of the horizontal pass are made as the vertical pass first needs them and kept in
// a ring just deep enough for one output row's taps, so a band never holds more than a
// few hundred kilobytes of floats whatever the source size.
void renderBand(const Plan &plan, PixelBuffer &out, int r0, int r1)
{
    const FilterWeights &hw = plan.horizontal;
    const FilterWeights &vw = plan.vertical;
    const int nCols = hw.count;
    const int i0 = r0, i1 = r1 + 2 * plan.halo; // rows of the vertical weights (halo included)
    const int x0 = hw.firstSource, x1 = hw.lastSource;
    const int srcCols = std::max(0, x1 - x0 + 1);
    const int ringRows = vw.taps + 4;

    std::unique_ptr<v4[]> ring(new v4[size_t(ringRows) * size_t(nCols)]);
    const size_t cols = size_t(srcCols);
    std::vector<float> r(cols), g(cols), b(cols), a(cols);
    std::unique_ptr<v4[]> packed(new v4[cols + 1]);
    const RowReader reader(plan);
    const bool direct = plan.colours->empty() && !plan.alpha && reader.canReadPacked();
    // The ring holds source rows lowest..produced (at most its depth). Weight rows do not
    // always start in order: at an exact upscale a row may take a single tap below rows
    // its neighbours still need, so both ends are tracked.
    bool any = false;
    int lowest = 0, produced = 0;
    auto produce = [&](int y) {
        if (direct) {
            reader.readPacked(y, x0, srcCols, packed.get());
        } else {
            reader.read(y, x0, x1, r.data(), g.data(), b.data(), a.data());
            if (!plan.colours->empty())
                plan.colours->apply(r.data(), g.data(), b.data(), srcCols);
            if (plan.alpha) {
                for (size_t i = 0; i < cols; ++i)
                    packed[i] = v4{r[i] * a[i], g[i] * a[i], b[i] * a[i], a[i]};
            } else {
                for (size_t i = 0; i < cols; ++i)
                    packed[i] = v4{r[i], g[i], b[i], 1.0f};
            }
        }
        horizontalPass(hw, packed.get(), &ring[size_t(y % ringRows) * size_t(nCols)]);
    };

    std::unique_ptr<v4[]> line(new v4[size_t(nCols)]);
    std::unique_ptr<Sharpener> sharpener(plan.sharpen ? new Sharpener(plan, nCols) : nullptr);
    for (int i = i0; i < i1; ++i) {
        v4 *acc = sharpener ? sharpener->slot(i) : line.get();
        std::fill(acc, acc + nCols, v4{0, 0, 0, 0});
        const int start = vw.start[size_t(i)], length = vw.length[size_t(i)];
        if (length > 0 && srcCols > 0) {
            // Rows never made in this band, or already pushed out of the ring, are made (again).
            if (!any || start < std::max(lowest, produced - ringRows + 1) || start > produced + 1) {
                lowest = start;
                produced = start - 1;
                any = true;
            }
            while (produced < start + length - 1)
                produce(++produced);
            const v4 *rows[64];
            for (int k0 = 0; k0 < length; k0 += 64) {
                const int taps = std::min(length - k0, 64);
                for (int k = 0; k < taps; ++k)
                    rows[k] = &ring[size_t((start + k0 + k) % ringRows) * size_t(nCols)];
                verticalPass(vw.of(i) + k0, rows, taps, nCols, acc);
            }
        }
        if (!sharpener) {
            storeRow(plan, acc, out.row(i));
            continue;
        }
        // Weights row i is output row i - halo; it is sharpened once two more rows exist.
        sharpener->finish(i);
        if (i - i0 >= 4)
            storeRow(plan, sharpener->sharpen(i - 2), out.row(i - 4));
    }
}

} // namespace

int renderedLength(double side)
{
    if (!(side > 0.0))
        return 0;
    if (side >= double(INT32_MAX))
        return INT32_MAX;
    return std::max(1, int(std::lround(side)));
}

std::shared_ptr<PixelBuffer> renderImage(const FilterImagePtr &image, const RenderOptions &options)
{
    if (!image) {
        qpLog(QStringLiteral("nothing to render"));
        return nullptr;
    }
    Plan plan;
    if (!compile(image, plan))
        return nullptr;
    FilterImagePtr source = image;
    while (source->input())
        source = source->input();
    plan.source = sourcePixelsFor(source->picture(), std::min(plan.scaleX, plan.scaleY), options.cacheLevels);
    if (!plan.source.pixels) {
        qpLog(QStringLiteral("the picture has no pixels to render"));
        return nullptr;
    }
    const int f = plan.source.factor;
    plan.levelW = plan.source.canvas ? plan.source.sourceSize.width() : plan.source.pixels->width;
    plan.levelH = plan.source.canvas ? plan.source.sourceSize.height() : plan.source.pixels->height;
    plan.alpha = plan.source.pixels->hasAlpha() && !plan.source.canvas;
    plan.halo = plan.sharpen ? 2 : 0;

    // Output column j (from -halo) is centred at x = rect.x + j + 0.5 in the scaled image,
    // x / scaleX in the source, and that / f - 0.5 as an index of the level. Rows count from
    // the top in bitmaps and from the bottom in the image's coordinates.
    const double fx = plan.scaleX * f, fy = plan.scaleY * f;
    const int halo = plan.halo;
    // Each output needs about 6 / scale weights when shrinking: refuse what cannot fit.
    auto weightCount = [](double count, double scale) { return count * (6.0 / std::min(scale, 1.0) + 2.0); };
    if (weightCount(plan.outW, fx) + weightCount(plan.outH, fy) > double(kMaxWeights)) {
        qpLog(QStringLiteral("cannot render a scale of %1 to %2 x %3 pixels").arg(plan.scaleY).arg(plan.outW).arg(plan.outH));
        return nullptr;
    }
    plan.horizontal = lanczosWeights(plan.outW + 2 * halo, (plan.rect.x() - halo + 0.5) / fx - 0.5, 1.0 / fx, fx, plan.levelW, plan.clampEdges);
    const double sourceHeight = plan.source.canvas ? plan.levelH : plan.source.sourceSize.height();
    const double topOrigin = sourceHeight / f - (plan.rect.y() + plan.outH - 0.5 + halo) / fy - 0.5;
    plan.vertical = lanczosWeights(plan.outH + 2 * halo, topOrigin, 1.0 / fy, fy, plan.levelH, plan.clampEdges);

    auto out = PixelBuffer::create(plan.outW, plan.outH, plan.alpha ? 4 : 3, 8);
    if (!out) {
        qpLog(QStringLiteral("not enough memory to render %1 x %2 pixels").arg(plan.outW).arg(plan.outH));
        return nullptr;
    }
    if (plan.horizontal.lastSource < plan.horizontal.firstSource || plan.vertical.lastSource < plan.vertical.firstSource) {
        // Nothing of the source reaches the rectangle: all transparent.
        for (int y = 0; y < plan.outH; ++y)
            std::memset(out->row(y), 0, out->stride);
        return out;
    }

    const int threads = options.threads > 0 ? options.threads : hardwareThreads();
    std::atomic<bool> outOfMemory{false};
    // Two bands per thread even out uneven bands; each costs only its first rows' taps again.
    const int bands = std::clamp(threads == 1 ? 1 : 2 * threads, 1, plan.outH);
    parallelFor(bands, threads, [&](int band) {
        const int r0 = int((long long)plan.outH * band / bands);
        const int r1 = int((long long)plan.outH * (band + 1) / bands);
        if (r1 <= r0 || outOfMemory)
            return;
        try {
            renderBand(plan, *out, r0, r1);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
    });
    if (outOfMemory) {
        qpLog(QStringLiteral("not enough memory to render %1 x %2 pixels").arg(plan.outW).arg(plan.outH));
        return nullptr;
    }
    return out;
}
