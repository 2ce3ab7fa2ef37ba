// The chain's measurement, scale factor, crop, render size and steps, checked on pixels.

#include "ConversionTestSupport.h"
#include "Renderer.h"

#include <gtest/gtest.h>

namespace {

class ChainTest : public ::testing::Test {
protected:
    NeutralEngine engine;
};

TEST_F(ChainTest, OneFactorCoversTheTargetAndTheOverhangIsCutEquallyFromBothEnds)
{
    const struct {
        const char *name;
        QSize source;
        std::function<Rgb(int, int)> colourAt;
        QSizeF target;
        QRectF crop;
        std::vector<std::array<int, 3>> reds; // x, y and the red level there
    } cases[] = {
        // Scaled 900 x 600: the red source columns below 520 (scaled 156) show in the first six columns only.
        {"wider", {3000, 2000}, [](int x, int) { return x < 520 || x >= 2480 ? Rgb{255, 0, 0} : Rgb{0, 255, 0}; },
         {600, 600}, {150, 0, 600, 600}, {{2, 300, 255}, {10, 300, 0}, {300, 300, 0}, {597, 300, 255}}},
        // y0 = 50 from the bottom: the 51 top rows go. At scale 1 Lanczos is the identity.
        {"taller", {100, 201}, [](int, int y) { return Rgb{y, y, y}; }, {100, 100}, {0, 50, 100, 100},
         {{40, 0, 51}, {40, 1, 52}, {40, 50, 101}, {40, 99, 150}}},
        // The edge clamp keeps a flat picture flat up to its very edges.
        {"upscaled", {80, 60}, [](int, int) { return Rgb{200, 120, 240}; }, {160, 120}, {0, 0, 160, 120},
         {{0, 0, 200}, {159, 60, 200}, {80, 119, 200}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto picture = makePicture(c.source.width(), c.source.height(), c.colourAt);
        const FilterImagePtr chain = engine.composeImageNewSize(picture, c.target); // the steps live as long as their chain
        const auto crop = stepsOf(chain, FilterImage::Kind::Crop);
        ASSERT_EQ(crop.size(), 1u);
        EXPECT_EQ(crop[0]->cropRect(), c.crop);
        const auto out = engine.resizeImageNewSize(picture, c.target);
        ASSERT_TRUE(out && QSize(out->width, out->height) == c.target.toSize());
        for (const auto &[x, y, red] : c.reds)
            EXPECT_NEAR(pixelAt(*out, x, y)[0], red, 3) << x << "," << y;
    }
}

TEST_F(ChainTest, FractionalSidesRoundToTheNearestPixelAndZeroSizesAreRefused)
{
    auto out = engine.resizeImageNewSize(flatPicture(1200, 675, {50, 50, 50}), QSizeF(600, 337.5));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->height, 338);
    for (const auto &[length, rendered] : {std::pair{337.49, 337}, {0.3, 1}, {0.0, 0}, {-4.0, 0}})
        EXPECT_EQ(renderedLength(length), rendered) << length;

    // No representation with pixels and 0.5 x 100 points.
    EXPECT_FALSE(engine.resizeImageNewSize(std::make_shared<Picture>(Picture::Representations{}, QSizeF(0.5, 100)), QSizeF(0, 0)));
    EXPECT_FALSE(engine.resizeImageNewSize(flatPicture(10, 10, {0, 0, 0}), QSizeF(-20, 10)));
}

TEST_F(ChainTest, EachStepRunsOnlyAwayFromItsNeutralValue)
{
    const auto picture = flatPicture(20, 20, {100, 100, 100});
    using K = ColourOp::Kind;
    FilterImagePtr chain;
    const auto colourKinds = [&] { // from the source on
        chain = engine.composeImageNewSize(picture, QSizeF(10, 10));
        std::vector<K> kinds;
        for (const FilterImage *step : stepsOf(chain, FilterImage::Kind::Colour))
            kinds.insert(kinds.begin(), step->colourOp().kind);
        return kinds;
    };
    EXPECT_TRUE(colourKinds().empty() && stepsOf(chain, FilterImage::Kind::Sharpen).empty());
    engine.sharpeningFactor = 0.4f;
    engine.saturationFactor = 1.2f;
    engine.filter = 5;
    EXPECT_EQ(colourKinds(), std::vector<K>{K::ColorControls});
    EXPECT_EQ(stepsOf(chain, FilterImage::Kind::Sharpen).size(), 1u);

    engine.saturationFactor = 1.000009f;
    engine.brightnessFactor = -0.5f;
    engine.temperatureFactor = 6562.37f;
    engine.filter = 2;
    EXPECT_EQ(colourKinds(), (std::vector<K>{K::ToneCurve, K::TemperatureAndTint, K::SepiaTone}));
    ASSERT_TRUE(engine.resizeImageNewSize(picture, QSizeF(10, 10)));
    const ColourOp &curve = stepsOf(chain, FilterImage::Kind::Colour).back()->colourOp();
    for (size_t i = 1; i <= 4; ++i) // brightness -0.5 lowers the curve's points, but white stays white
        EXPECT_DOUBLE_EQ(curve.curveY[i], i == 4 ? 1.0 : 0.125 * double(i)) << i;
}

// The renderer splits rows among threads, with the same result.
TEST_F(ChainTest, RendersTheSameWithOneThreadAsWithMany)
{
    auto picture = makePicture(301, 203, [](int x, int y) { return Rgb{(x * 7) % 256, (y * 5) % 256, (x * y) % 256}; });
    engine.sharpeningFactor = 0.8f;
    engine.setThreadCount(1);
    auto one = engine.resizeImageNewSize(picture, QSizeF(97, 61));
    engine.setThreadCount(4);
    auto many = engine.resizeImageNewSize(picture, QSizeF(97, 61));
    ASSERT_TRUE(one && many);
    for (int y = 0; y < one->height; ++y)
        ASSERT_EQ(0, memcmp(one->row(y), many->row(y), one->stride)) << y;
}

} // namespace
