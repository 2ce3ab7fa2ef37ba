// The chain's measurement, scale factor, crop and render size, checked on pixels.

#include "ConversionTestSupport.h"
#include "Log.h"
#include "PhotoManipulator.h"
#include "Parallel.h"
#include "Renderer.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <thread>

namespace {

const FilterImage *findNode(const FilterImagePtr &chain, FilterImage::Kind kind)
{
    const auto steps = stepsOf(chain, kind);
    return steps.empty() ? nullptr : steps.front();
}

class ChainTest : public ::testing::Test {
protected:
    NeutralEngine engine;
};

TEST_F(ChainTest, CropModeCutsTheOverhangEquallyFromBothSides)
{
    // 3000 x 2000 to 600 x 600: s = 0.3, 900 x 600 scaled, columns 150..749 kept. Red
    // source columns below 520 (scaled 156) show in the first six output columns only.
    auto picture = makePicture(3000, 2000, [](int x, int) { return x < 520 || x >= 2480 ? Rgb{255, 0, 0} : Rgb{0, 255, 0}; });
    auto out = engine.resizeImageNewSize(picture, QSizeF(600, 600));
    ASSERT_TRUE(out);
    EXPECT_EQ(QSize(out->width, out->height), QSize(600, 600));
    const FilterImagePtr chain = engine.composeImageNewSize(picture, QSizeF(600, 600));
    const FilterImage *crop = findNode(chain, FilterImage::Kind::Crop);
    const FilterImage *scale = findNode(chain, FilterImage::Kind::Scale);
    ASSERT_TRUE(crop && scale);
    EXPECT_EQ(crop->cropRect(), QRectF(150, 0, 600, 600));
    EXPECT_FLOAT_EQ(float(scale->scale()), 0.3f);
    for (const int x : {2, 10, 300, 597})
        EXPECT_EQ(pixelAt(*out, x, 300)[0] > 250, x == 2 || x == 597) << x << ": " << pixelAt(*out, x, 300)[0];
}

TEST_F(ChainTest, VerticalOverhangIsMeasuredFromTheLowerLeftCorner)
{
    // 100 x 201 to 100 x 100: s = 1, y0 = 50 from the bottom, so the 51 top rows go and the
    // first output row is source row 51. At scale 1 Lanczos is the identity.
    auto picture = makePicture(100, 201, [](int, int y) { return Rgb{y, y, y}; });
    auto out = engine.resizeImageNewSize(picture, QSizeF(100, 100));
    ASSERT_TRUE(out);
    ASSERT_EQ(out->height, 100);
    for (int y : {0, 1, 50, 99})
        EXPECT_EQ(pixelAt(*out, 40, y)[0], 51 + y) << y;
}

TEST_F(ChainTest, SameProportionsCutNothingAndUpscalingIsAllowed)
{
    auto picture = flatPicture(2000, 1000, {10, 120, 240});
    EXPECT_EQ(findNode(engine.composeImageNewSize(picture, QSizeF(1000, 500)), FilterImage::Kind::Crop)->cropRect(), QRectF(0, 0, 1000, 500));
    auto small = flatPicture(80, 60, {10, 120, 240});
    auto up = engine.resizeImageNewSize(small, QSizeF(160, 120));
    ASSERT_TRUE(up);
    EXPECT_EQ(QSize(up->width, up->height), QSize(160, 120));
    EXPECT_FLOAT_EQ(float(findNode(engine.composeImageNewSize(small, QSizeF(160, 120)), FilterImage::Kind::Scale)->scale()), 2.0f);
    // The edge clamp keeps a flat picture flat up to its very edges.
    for (int x : {0, 79, 159})
        for (int y : {0, 60, 119})
            EXPECT_EQ(pixelAt(*up, x, y), (Rgb{10, 120, 240}));
}

TEST_F(ChainTest, FractionalSidesRoundToTheNearestPixelAndZeroSizesAreRefused)
{
    auto out = engine.resizeImageNewSize(flatPicture(1200, 675, {50, 50, 50}), QSizeF(600, 337.5));
    ASSERT_TRUE(out);
    EXPECT_EQ(QSize(out->width, out->height), QSize(600, 338));
    for (const auto &[length, rendered] : {std::pair{337.49, 337}, {0.3, 1}, {0.0, 0}, {-4.0, 0}})
        EXPECT_EQ(renderedLength(length), rendered) << length;

    LogCapture log;
    EXPECT_FALSE(engine.resizeImageNewSize(flatPicture(10, 10, {0, 0, 0}), QSizeF(0, 500)));
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("returning - one dimension is zero")});
    // No representation with pixels and 0.5 x 100 points: only the first check speaks.
    log.clear();
    EXPECT_FALSE(engine.resizeImageNewSize(std::make_shared<Picture>(Picture::Representations{}, QSizeF(0.5, 100)), QSizeF(0, 0)));
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("returning from resizeImage: - one dimension is zero")});
    log.clear();
    EXPECT_FALSE(engine.resizeImageNewSize(flatPicture(10, 10, {0, 0, 0}), QSizeF(-20, 10)));
    EXPECT_FALSE(log.messages().isEmpty());
}

TEST_F(ChainTest, NeutralSettingsKeepColoursAndSkipEveryStepButTheSharpeningAsked)
{
    // Flat patches of 40 x 40, halved: their inner pixels keep their colours within a level.
    const Rgb patches[4] = {{200, 30, 40}, {12, 200, 90}, {90, 90, 250}, {250, 250, 250}};
    auto picture = makePicture(80, 80, [&](int x, int y) { return patches[(x / 40) + 2 * (y / 40)]; });
    auto out = engine.resizeImageNewSize(picture, QSizeF(40, 40));
    ASSERT_TRUE(out);
    for (int i = 0; i < 4; ++i) {
        const Rgb got = pixelAt(*out, 10 + 20 * (i % 2), 10 + 20 * (i / 2));
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[size_t(c)], patches[i][size_t(c)], 1) << i;
    }
    // clamp, scale and crop only
    const FilterImagePtr chain = engine.composeImageNewSize(picture, QSizeF(40, 40));
    EXPECT_TRUE(stepsOf(chain, FilterImage::Kind::Colour).empty() && stepsOf(chain, FilterImage::Kind::Sharpen).empty());
    engine.sharpeningFactor = 0.4f;
    EXPECT_EQ(stepsOf(engine.composeImageNewSize(picture, QSizeF(40, 40)), FilterImage::Kind::Sharpen).size(), 1u);
}

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

// A scheduler that gives this process fewer processors than the machine has is obeyed.
TEST(Parallel, HardwareThreadsAreTheProcessorsThisThreadMayUse)
{
    int counted = 0;
    std::thread restricted([&] {
        cpu_set_t allowed;
        ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &allowed)) {
                CPU_SET(cpu, &one);
                break;
            }
        ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
        counted = hardwareThreads();
    });
    restricted.join();
    EXPECT_EQ(counted, 1);
}

} // namespace
