// Which pixels the renderer reads: pre-shrunk levels, their cache, and sample formats.

#include "ColourOps.h"
#include "ConversionTestSupport.h"
#include "ImageEncoders.h"
#include "SourceImage.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<PixelBuffer> smooth()
{
    return makeBuffer(400, 300, [](int x, int y) { return Rgb{(x * 255) / 400, (y * 255) / 300, 128}; });
}

double meanDifference(const PixelBuffer &a, const PixelBuffer &b)
{
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (size_t i = 0; i < a.stride; ++i)
            sum += std::abs(int(a.row(y)[i]) - int(b.row(y)[i]));
    return sum / double(a.height * a.stride);
}

TEST(SourceLevels, JpegIsPreShrunkOnlyWithAFactorOfTwoLeftAndBoxLevelsAreKeptForTheNextRender)
{
    NeutralEngine engine;
    auto jpeg = Picture::fromData(encodeImage(*smooth(), ImageEncoding::JPEG, 0.95f));
    ASSERT_TRUE(jpeg);
    for (const auto &[scale, factor] : {std::pair{0.225, 2}, {0.3, 1}, {0.1, 4}})
        EXPECT_EQ(sourcePixelsFor(jpeg, scale, false).factor, factor) << scale;
    // The pre-shrunk result stays within a level of the full decode's on average.
    auto reduced = engine.resizeImageNewSize(jpeg, QSizeF(90, 67.5));
    auto full = engine.resizeImageNewSize(Picture::fromPixels(jpeg->representations().back()->pixels()), QSizeF(90, 67.5));
    ASSERT_TRUE(reduced && full);
    EXPECT_LT(meanDifference(*reduced, *full), 1.0);

    auto picture = Picture::fromPixels(smooth());
    engine.setCachesLevels(false);
    auto direct = engine.resizeImageNewSize(picture, QSizeF(80, 60));
    EXPECT_FALSE(picture->cachedData("conversion.level1"));
    engine.setCachesLevels(true);
    auto first = engine.resizeImageNewSize(picture, QSizeF(80, 60));
    auto kept = picture->cachedData("conversion.level1");
    ASSERT_TRUE(kept);
    auto second = engine.resizeImageNewSize(picture, QSizeF(80, 60));
    EXPECT_EQ(picture->cachedData("conversion.level1"), kept);
    ASSERT_TRUE(direct && first && second);
    EXPECT_EQ(meanDifference(*first, *second), 0.0);
    EXPECT_LT(meanDifference(*first, *direct), 0.5);
}

TEST(SourceLevels, BoxReductionAveragesLinearLight)
{
    // A black and white checker halves to linear 0.5, display level 0.735, not to 0.5.
    auto half = boxReduce(*makeBuffer(8, 8, [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }), 1);
    ASSERT_TRUE(half && half->width == 4 && half->bitsPerChannel == 16);
    EXPECT_NEAR(reinterpret_cast<const uint16_t *>(half->row(1))[3] / 65535.0, colour::linearToSrgb(0.5), 0.001);
}

} // namespace
