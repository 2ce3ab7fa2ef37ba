// Each named filter moves colours the right way; the filter layer itself behaves.

#include "ColourOps.h"
#include "ConversionTestSupport.h"
#include "Lanczos.h"
#include "Log.h"
#include "NamedFilter.h"
#include "Renderer.h"
#include "SrgbTables.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace {

using Inputs = std::vector<std::pair<QString, FilterValue>>;

// The picture through the named filter (inputs as given), clamped and rendered 1:1.
std::shared_ptr<PixelBuffer> through(const std::shared_ptr<const Picture> &picture, const QString &name, const Inputs &inputs)
{
    FilterImagePtr image = FilterImage::clamped(FilterImage::fromPicture(picture));
    auto filter = NamedFilter::filterWithName(name);
    for (const auto &[key, value] : inputs)
        filter->setValue(value, key);
    filter->setValue(image, QStringLiteral("inputImage"));
    image = std::get<FilterImagePtr>(filter->valueForKey(QStringLiteral("outputImage")));
    const QSize size = picture->sourcePixelSize();
    return renderImage(FilterImage::cropped(image, QRectF(0, 0, size.width(), size.height())));
}

double lin(int v) { return colour::srgbToLinear(v / 255.0); }
int spread(Rgb c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }

TEST(NamedFilter, MadeByNameWithTheirKeysAndWrongInputsRefused)
{
    for (const QString &name : NamedFilter::filterNames()) {
        auto filter = NamedFilter::filterWithName(name);
        ASSERT_TRUE(filter) << name.toStdString();
        EXPECT_TRUE(filter->inputKeys().contains(QStringLiteral("inputImage"))) << name.toStdString();
        EXPECT_FALSE(filter->outputImage()) << name.toStdString() << ": no output without an input image";
    }
    EXPECT_EQ(NamedFilter::filterNames().size(), 13);
    LogCapture log;
    EXPECT_FALSE(NamedFilter::filterWithName(QStringLiteral("CIGaussianBlur")));
    auto exposure = NamedFilter::filterWithName(QStringLiteral("CIExposureAdjust"));
    exposure->setValue(2.0, QStringLiteral("inputRadius"));
    exposure->setValue(FilterVector::vectorWithXY(1, 2), QStringLiteral("inputEV"));
    EXPECT_EQ(std::get<double>(exposure->valueForKey(QStringLiteral("inputEV"))), 0.0);
    EXPECT_EQ(log.messages().size(), 3);
}

TEST(NamedFilter, EachMovesAFlatColourAsNamed)
{
    const auto xy = &FilterVector::vectorWithXY;
    const Inputs lift = {{"inputPoint1", xy(0.25, 0.625)}, {"inputPoint2", xy(0.5, 0.75)}, {"inputPoint3", xy(0.75, 0.875)}};
    const auto towards = [xy](double kelvin) { return Inputs{{"inputNeutral", xy(6500, 0)}, {"inputTargetNeutral", xy(kelvin, 0)}}; };
    const struct {
        const char *name, *filter;
        Rgb in;
        Inputs inputs;
        std::function<bool(Rgb)> holds;
    } cases[] = {
        {"exposure +1 doubles linear light", "CIExposureAdjust", {100, 60, 20}, {{"inputEV", 1.0}},
         [](Rgb o) { return std::abs(lin(o[0]) - 2 * lin(100)) < 0.006 && std::abs(lin(o[1]) - 2 * lin(60)) < 0.006
                            && std::abs(lin(o[2]) - 2 * lin(20)) < 0.006; }},
        {"saturation 0 is grey", "CIColorControls", {200, 80, 30}, {{"inputSaturation", 0.0}}, [](Rgb o) { return spread(o) == 0; }},
        {"saturation 1.5 spreads", "CIColorControls", {200, 80, 30}, {{"inputSaturation", 1.5}}, [](Rgb o) { return o[0] - o[2] > 170; }},
        {"contrast darkens the dark", "CIColorControls", {60, 60, 60}, {{"inputContrast", 1.5}}, [](Rgb o) { return o[0] < 60; }},
        {"contrast lightens the light", "CIColorControls", {190, 190, 190}, {{"inputContrast", 1.5}}, [](Rgb o) { return o[0] > 190; }},
        {"contrast pivots on mid-grey", "CIColorControls", {128, 128, 128}, {{"inputContrast", 1.5}},
         [](Rgb o) { return std::abs(o[0] - 128) <= 1; }},
        {"brightness lightens", "CIColorControls", {100, 100, 100}, {{"inputBrightness", 0.1}}, [](Rgb o) { return o[0] > 110; }},
        {"the +0.5 tone curve lifts 0.5 to 0.75", "CIToneCurve", {128, 128, 128}, lift, [](Rgb o) { return std::abs(o[0] - 191) <= 2; }},
        {"vibrance lifts a muted colour", "CIVibrance", {140, 120, 110}, {{"inputAmount", 1.0}}, [](Rgb o) { return spread(o) > 39; }},
        {"vibrance spares a vivid colour", "CIVibrance", {230, 40, 30}, {{"inputAmount", 1.0}}, [](Rgb o) { return spread(o) < 220; }},
        {"a temperature above the neutral warms", "CITemperatureAndTint", {150, 150, 150}, towards(9000),
         [](Rgb o) { return o[0] > o[2] + 10; }},
        {"one below cools", "CITemperatureAndTint", {150, 150, 150}, towards(4000), [](Rgb o) { return o[0] < o[2] - 10; }},
        {"the neutral itself keeps", "CITemperatureAndTint", {150, 150, 150}, towards(6500), [](Rgb o) { return o == Rgb{150, 150, 150}; }},
        {"sepia at 0 keeps", "CISepiaTone", {40, 160, 220}, {{"inputIntensity", 0.0}}, [](Rgb o) { return o == Rgb{40, 160, 220}; }},
        {"sepia at 1 browns", "CISepiaTone", {40, 160, 220}, {{"inputIntensity", 1.0}}, [](Rgb o) { return o[0] > o[1] && o[1] > o[2]; }},
        {"tonal is grey", "CIPhotoEffectTonal", {40, 160, 220}, {}, [](Rgb o) { return spread(o) == 0; }},
        {"chrome spreads", "CIPhotoEffectChrome", {40, 160, 220}, {}, [](Rgb o) { return o[2] - o[0] > 180; }},
    };
    for (const auto &c : cases) {
        const auto out = through(flatPicture(2, 2, c.in), c.filter, c.inputs);
        ASSERT_TRUE(out) << c.name;
        const Rgb got = pixelAt(*out, 0, 0);
        EXPECT_TRUE(c.holds(got)) << c.name << ": " << got[0] << " " << got[1] << " " << got[2];
    }
    // The white of 6500 K on the daylight locus is close to sRGB's own white.
    double w[3];
    colour::whiteOf(6504, 0, w);
    EXPECT_NEAR(w[0] / w[1], 1.0, 0.02);
    EXPECT_NEAR(w[2] / w[1], 1.0, 0.02);
}

TEST(NamedFilter, RampsKeepTheirEndsOrderAndLevels)
{
    const auto ramp = makePicture(256, 1, [](int x, int) { return Rgb{x, 255 - x, x / 2}; });
    const auto xy = &FilterVector::vectorWithXY;
    auto curved = through(ramp, "CIToneCurve", {{"inputPoint1", xy(0.25, 0.625)}, {"inputPoint2", xy(0.5, 0.75)}, {"inputPoint3", xy(0.75, 0.875)}});
    ASSERT_TRUE(curved);
    for (int x = 1; x < 256; ++x)
        ASSERT_GE(pixelAt(*curved, x, 0)[0], pixelAt(*curved, x - 1, 0)[0]) << x;
    EXPECT_EQ(pixelAt(*curved, 0, 0)[0], 0);
    EXPECT_EQ(pixelAt(*curved, 255, 0)[0], 255);
    for (int levels : {2, 6, 12}) {
        auto out = through(ramp, "CIColorPosterize", {{"inputLevels", double(levels)}});
        ASSERT_TRUE(out);
        std::set<int> seen;
        for (int x = 0; x < 256; ++x)
            seen.insert(pixelAt(*out, x, 0)[0]);
        EXPECT_EQ(int(seen.size()), levels);
        EXPECT_TRUE(seen.count(0) && seen.count(255)) << levels;
    }
}

TEST(NamedFilter, ClampExtendsEdgesWhereTheUnclampedImageFades)
{
    auto picture = flatPicture(40, 40, {200, 200, 200});
    auto scaledCrop = [&](FilterImagePtr image) {
        auto lanczos = NamedFilter::filterWithName(QStringLiteral("CILanczosScaleTransform"));
        lanczos->setValue(0.5, QStringLiteral("inputScale"));
        lanczos->setValue(image, QStringLiteral("inputImage"));
        return renderImage(FilterImage::cropped(lanczos->outputImage(), QRectF(0, 0, 20, 20)));
    };
    auto clamped = scaledCrop(FilterImage::clamped(FilterImage::fromPicture(picture)));
    auto bare = scaledCrop(FilterImage::fromPicture(picture));
    ASSERT_TRUE(clamped && bare);
    EXPECT_EQ(pixelAt(*clamped, 0, 0), (Rgb{200, 200, 200}));
    EXPECT_EQ(bare->channels, 3);
    EXPECT_LT(pixelAt(*bare, 0, 0)[0], 195);
    EXPECT_EQ(pixelAt(*bare, 10, 10), (Rgb{200, 200, 200}));
}

TEST(NamedFilter, SharpeningRaisesEdgeContrastOnly)
{
    auto edge = makePicture(200, 40, [](int x, int) { return x < 100 ? Rgb{60, 60, 60} : Rgb{180, 180, 180}; });
    auto render = [&](double sharpness) {
        FilterImagePtr image = FilterImage::clamped(FilterImage::fromPicture(edge));
        image = FilterImage::scaled(image, 0.5, 1.0);
        if (sharpness > 0) {
            auto sharpen = NamedFilter::filterWithName(QStringLiteral("CISharpenLuminance"));
            sharpen->setValue(sharpness, QStringLiteral("inputSharpness"));
            sharpen->setValue(image, QStringLiteral("inputImage"));
            image = sharpen->outputImage();
        }
        return renderImage(FilterImage::cropped(image, QRectF(0, 0, 100, 20)));
    };
    auto plain = render(0), sharp = render(1.0);
    ASSERT_TRUE(plain && sharp);
    EXPECT_LT(pixelAt(*sharp, 48, 10)[0], pixelAt(*plain, 48, 10)[0]);
    EXPECT_GT(pixelAt(*sharp, 51, 10)[0], pixelAt(*plain, 51, 10)[0]);
    EXPECT_EQ(pixelAt(*sharp, 10, 10), pixelAt(*plain, 10, 10));
    EXPECT_EQ(pixelAt(*sharp, 90, 0), pixelAt(*plain, 90, 0));
}

// Rows of 13: the first 8 values may go through the AVX2 kernels, the last 5 never do.
constexpr int kRow = 13;

TEST(ColourPipeline, EveryStepStaysFiniteWhateverItsParameters)
{
    using K = ColourOp::Kind;
    const double huge = 1e30, nan = std::nan("");
    auto op = [](K kind, const std::function<void(ColourOp &)> &set = {}) {
        ColourOp o;
        o.kind = kind;
        if (set)
            set(o);
        return o;
    };
    const struct {
        const char *name;
        std::vector<ColourOp> ops;
    } cases[] = {
        {"exposure of 200 stops, then tonal", {op(K::Exposure, [](ColourOp &o) { o.ev = 200; }), op(K::PhotoEffectTonal)}},
        {"exposure of -huge stops, then chrome", {op(K::Exposure, [&](ColourOp &o) { o.ev = -huge; }), op(K::PhotoEffectChrome)}},
        {"huge contrast and brightness", {op(K::ColorControls, [&](ColourOp &o) { o.contrast = huge, o.brightness = -huge; })}},
        {"huge saturation, then huge vibrance", {op(K::ColorControls, [&](ColourOp &o) { o.saturation = -huge; }),
                                                 op(K::Vibrance, [&](ColourOp &o) { o.amount = huge; })}},
        {"tone curve points huge and NaN", {op(K::ToneCurve, [&](ColourOp &o) { o.curveY[1] = huge, o.curveY[3] = -huge, o.curveX[2] = nan; })}},
        {"0 K with a huge tint", {op(K::TemperatureAndTint, [&](ColourOp &o) { o.targetK = 0, o.targetTint = huge; })}},
        {"NaN kelvin", {op(K::TemperatureAndTint, [&](ColourOp &o) { o.targetK = nan; })}},
        {"NaN sepia", {op(K::SepiaTone, [&](ColourOp &o) { o.intensity = nan; })}},
        {"NaN and huge posterize levels", {op(K::ColorPosterize, [&](ColourOp &o) { o.levels = nan; }),
                                           op(K::ColorPosterize, [&](ColourOp &o) { o.levels = huge; })}},
        {"every step at its extreme", {op(K::ColorControls, [&](ColourOp &o) { o.contrast = o.saturation = huge; }),
                                       op(K::Exposure, [&](ColourOp &o) { o.ev = huge; }),
                                       op(K::ToneCurve, [&](ColourOp &o) { o.curveY[2] = huge; }),
                                       op(K::Vibrance, [&](ColourOp &o) { o.amount = huge; }),
                                       op(K::TemperatureAndTint, [&](ColourOp &o) { o.targetK = huge, o.targetTint = -huge; }),
                                       op(K::PhotoEffectChrome)}},
    };
    for (const auto &c : cases) {
        const ColourPipeline pipeline(c.ops);
        float r[kRow] = {0, 1e-6f, 0.002f, 0.02f, 0.1f, 0.2f, 0.35f, 0.5f, 0, 1e-6f, 0.05f, 0.6f, 1};
        float g[kRow], b[kRow];
        for (int i = 0; i < kRow; ++i)
            g[i] = r[kRow - 1 - i], b[i] = r[(i + 5) % kRow];
        pipeline.apply(r, g, b, kRow);
        for (int i = 0; i < kRow; ++i)
            ASSERT_TRUE(std::isfinite(r[i]) && std::isfinite(g[i]) && std::isfinite(b[i])) << c.name << ", value " << i;
    }
}

TEST(ColourPipeline, CurvesReadNaNAndInfinitiesInsideTheirTable)
{
    const float inf = INFINITY, nan = NAN;
    const CurveTable curve([](double x) { return 0.25 + x; }); // 0.25 at 0, 4.25 from 4 on
    float v[kRow] = {0.5f, nan, inf, -inf, -1.0f, 0.0f, 4.0f, 100.0f, nan, inf, -inf, -1.0f, 100.0f};
    const float want[kRow] = {0.75f, 0.25f, 4.25f, 0.25f, 0.25f, 0.25f, 4.25f, 4.25f, 0.25f, 4.25f, 0.25f, 0.25f, 4.25f};
    curve.apply(v, kRow);
    for (int i = 0; i < kRow; ++i)
        EXPECT_NEAR(v[i], want[i], 1e-4) << "value " << i;
    // Whatever the function gives, the table holds finite values.
    EXPECT_TRUE(std::isfinite(CurveTable([](double x) { return x * 1e300; })(1.0f)));
    EXPECT_EQ(CurveTable([](double) { return std::nan(""); })(0.5f), 0.0f);
    EXPECT_EQ(srgb::toSample8(nan), 0);
}

TEST(Lanczos, WeightsAreNormalisedAndWidenedWhenShrinking)
{
    const FilterWeights down = lanczosWeights(50, 0.5, 4.0, 0.25, 200, true);
    EXPECT_GE(down.taps, 22);
    for (int i = 0; i < down.count; ++i) {
        double sum = 0;
        for (int k = 0; k < down.length[size_t(i)]; ++k)
            sum += down.of(i)[k];
        EXPECT_NEAR(sum, 1.0, 1e-5) << i;
    }
    const FilterWeights same = lanczosWeights(10, 0.0, 1.0, 1.0, 10, true);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(same.length[size_t(i)], 1);
        EXPECT_EQ(same.start[size_t(i)], i);
    }
    EXPECT_DOUBLE_EQ(lanczos3(0.0), 1.0);
    EXPECT_NEAR(lanczos3(1.0), 0.0, 1e-12);
    EXPECT_EQ(lanczos3(3.0), 0.0);
}

TEST(SrgbTables, RoundTripEveryLevel)
{
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(srgb::toSample8(srgb::toLinear8()[v]), v);
}

} // namespace
