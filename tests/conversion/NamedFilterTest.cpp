// Each named filter moves colours the right way; the filter layer and its kernels behave.

#include "ColourOps.h"
#include "ConversionTestSupport.h"
#include "Lanczos.h"
#include "Log.h"
#include "NamedFilter.h"
#include "Renderer.h"
#include "SrgbTables.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>

namespace {

using Inputs = std::vector<std::pair<QString, FilterValue>>;

// The clamped picture through the named filter, rendered from the origin at the picture's size unless another is given.
std::shared_ptr<PixelBuffer> through(const std::shared_ptr<const Picture> &picture, const QString &name, const Inputs &inputs,
                                     QSize size = {})
{
    FilterImagePtr image = FilterImage::fromPicture(picture);
    auto filter = NamedFilter::filterWithName(name);
    for (const auto &[key, value] : inputs)
        filter->setValue(value, key);
    filter->setValue(FilterImage::clamped(image), QStringLiteral("inputImage"));
    if (size.isEmpty())
        size = picture->sourcePixelSize();
    return renderImage(FilterImage::cropped(filter->outputImage(), QRectF(0, 0, size.width(), size.height())));
}

double lin(int v) { return colour::srgbToLinear(v / 255.0); }
int spread(Rgb c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }

TEST(NamedFilter, MadeByNameWithTheirKeysAndWrongInputsRefused)
{
    for (const QString &name : NamedFilter::filterNames()) {
        auto filter = NamedFilter::filterWithName(name);
        ASSERT_TRUE(filter) << name.toStdString();
        EXPECT_FALSE(filter->outputImage()) << name.toStdString() << ": no output without an input image";
    }
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
         [](Rgb o) { return std::abs(lin(o[0]) - 2 * lin(100)) < 0.006 && std::abs(lin(o[2]) - 2 * lin(20)) < 0.006; }},
        {"saturation 0 is grey", "CIColorControls", {200, 80, 30}, {{"inputSaturation", 0.0}}, [](Rgb o) { return spread(o) == 0; }},
        {"saturation 1.5 spreads", "CIColorControls", {200, 80, 30}, {{"inputSaturation", 1.5}}, [](Rgb o) { return o[0] - o[2] > 170; }},
        {"contrast darkens the dark", "CIColorControls", {60, 60, 60}, {{"inputContrast", 1.5}}, [](Rgb o) { return o[0] < 60; }},
        {"contrast pivots on mid-grey", "CIColorControls", {128, 128, 128}, {{"inputContrast", 1.5}},
         [](Rgb o) { return std::abs(o[0] - 128) <= 1; }},
        {"brightness lightens", "CIColorControls", {100, 100, 100}, {{"inputBrightness", 0.1}}, [](Rgb o) { return o[0] > 110; }},
        {"the +0.5 tone curve lifts 0.5 to 0.75", "CIToneCurve", {128, 128, 128}, lift, [](Rgb o) { return std::abs(o[0] - 191) <= 2; }},
        {"vibrance lifts a muted colour", "CIVibrance", {140, 120, 110}, {{"inputAmount", 1.0}}, [](Rgb o) { return spread(o) > 39; }},
        {"vibrance spares a vivid colour", "CIVibrance", {230, 40, 30}, {{"inputAmount", 1.0}}, [](Rgb o) { return spread(o) < 220; }},
        {"a temperature above the neutral warms", "CITemperatureAndTint", {150, 150, 150}, towards(9000),
         [](Rgb o) { return o[0] > o[2] + 10; }},
        {"one below cools", "CITemperatureAndTint", {150, 150, 150}, towards(4000), [](Rgb o) { return o[0] < o[2] - 10; }},
        {"sepia at 0 keeps", "CISepiaTone", {40, 160, 220}, {{"inputIntensity", 0.0}}, [](Rgb o) { return o == Rgb{40, 160, 220}; }},
        {"sepia at 1 browns", "CISepiaTone", {40, 160, 220}, {{"inputIntensity", 1.0}}, [](Rgb o) { return o[0] > o[1] && o[1] > o[2]; }},
        // Each level drops to the nearest lower of six: 0.392 to 0.4, 0.627 to 0.6, 0.863 to 1.
        {"posterize", "CIColorPosterize", {100, 160, 220}, {{"inputLevels", 6.0}}, [](Rgb o) { return o == Rgb{102, 153, 255}; }},
        {"tonal is grey", "CIPhotoEffectTonal", {40, 160, 220}, {}, [](Rgb o) { return spread(o) == 0; }},
        {"chrome spreads", "CIPhotoEffectChrome", {40, 160, 220}, {}, [](Rgb o) { return o[2] - o[0] > 180; }},
    };
    for (const auto &c : cases) {
        const auto out = through(flatPicture(2, 2, c.in), c.filter, c.inputs);
        ASSERT_TRUE(out) << c.name;
        const Rgb got = pixelAt(*out, 0, 0);
        EXPECT_TRUE(c.holds(got)) << c.name << ": " << got[0] << " " << got[1] << " " << got[2];
    }
}

TEST(NamedFilter, ScalingKeepsClampedEdgesAndSharpeningRaisesEdgeContrastOnly)
{
    auto clamped = through(flatPicture(40, 40, {200, 200, 200}), "CILanczosScaleTransform", {{"inputScale", 0.5}}, {20, 20});
    ASSERT_TRUE(clamped);
    EXPECT_EQ(pixelAt(*clamped, 0, 0), (Rgb{200, 200, 200}));

    auto edge = makePicture(100, 20, [](int x, int) { return x < 50 ? Rgb{60, 60, 60} : Rgb{180, 180, 180}; });
    auto sharp = through(edge, "CISharpenLuminance", {{"inputSharpness", 1.0}});
    ASSERT_TRUE(sharp);
    EXPECT_LT(pixelAt(*sharp, 49, 10)[0], 60);
    EXPECT_GT(pixelAt(*sharp, 50, 10)[0], 180);
    EXPECT_EQ(pixelAt(*sharp, 10, 10), (Rgb{60, 60, 60}));
    EXPECT_EQ(pixelAt(*sharp, 90, 0), (Rgb{180, 180, 180}));
}

// Rows of 13: the first 8 values may go through the AVX2 kernels, the last 5 never do.
constexpr int kRow = 13;

TEST(ColourPipeline, EveryStepStaysFiniteWhateverItsParameters)
{
    using K = ColourOp::Kind;
    const double huge = 1e30, nan = std::nan("");
    const std::vector<ColourOp> cases[] = {
        {{.kind = K::Exposure, .ev = 200}, {.kind = K::PhotoEffectTonal}},
        {{.kind = K::Exposure, .ev = -huge}, {.kind = K::PhotoEffectChrome}},
        {{.kind = K::ColorControls, .contrast = huge, .brightness = -huge}},
        {{.kind = K::ColorControls, .saturation = -huge}, {.kind = K::Vibrance, .amount = huge}},
        {{.kind = K::ToneCurve, .curveX = {0, 0.25, nan, 0.75, 1}, .curveY = {0, huge, 0.5, -huge, 1}}},
        {{.kind = K::TemperatureAndTint, .targetK = 0, .targetTint = huge}, {.kind = K::TemperatureAndTint, .targetK = nan}},
        {{.kind = K::SepiaTone, .intensity = nan}},
        {{.kind = K::ColorPosterize, .levels = nan}, {.kind = K::ColorPosterize, .levels = huge}},
        {{.kind = K::ColorControls, .contrast = huge, .saturation = huge}, {.kind = K::Exposure, .ev = huge},
         {.kind = K::ToneCurve, .curveY = {0, 0.25, huge, 0.75, 1}}, {.kind = K::Vibrance, .amount = huge},
         {.kind = K::TemperatureAndTint, .targetK = huge, .targetTint = -huge}, {.kind = K::PhotoEffectChrome}},
    };
    for (size_t n = 0; n < std::size(cases); ++n) {
        float r[kRow] = {0, 1e-6f, 0.002f, 0.02f, 0.1f, 0.2f, 0.35f, 0.5f, 0, 1e-6f, 0.05f, 0.6f, 1};
        float g[kRow], b[kRow];
        for (int i = 0; i < kRow; ++i)
            g[i] = r[kRow - 1 - i], b[i] = r[(i + 5) % kRow];
        ColourPipeline(cases[n]).apply(r, g, b, kRow);
        for (int i = 0; i < kRow; ++i)
            ASSERT_TRUE(std::isfinite(r[i]) && std::isfinite(g[i]) && std::isfinite(b[i])) << "case " << n << ", value " << i;
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
    for (int i = 0; i < down.count; ++i)
        EXPECT_NEAR(std::accumulate(down.of(i), down.of(i) + down.length[size_t(i)], 0.0), 1.0, 1e-5) << i;
}

} // namespace
