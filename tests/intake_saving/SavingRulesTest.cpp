// Names of the additional and batch outputs, and the preparation of a format's settings.

#include "Log.h"
#include "Picture.h"
#include "PixelBuffer.h"
#include "SavingRules.h"

#include <gtest/gtest.h>

using namespace SavingRules;

namespace {

QVariantMap record(const QString &modifier)
{
    return {{"name", "2x"}, {"modifier", modifier}, {"scalemode", 1}, {"xabs", ""}, {"yabs", ""}, {"xratio", "2"}, {"yratio", "2"},
            {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 0}, {"fillcolour", 2}, {"selected", true}};
}

QVariantMap base()
{
    return {{"scalemode", 0}, {"resamplemode", 1}, {"xabs", 600.0f}, {"yabs", 400.0f}, {"xratio", 1.0f}, {"yratio", 1.0f},
            {"relativeto", 1}, {"quality", 0.8f}, {"sharpen", 0.3f}, {"saturation", 1.1f}, {"brightness", 0.1f}, {"exposure", 0.2f},
            {"contrast", 0.9f}, {"vibrance", 0.4f}, {"temperature", 12.5f}, {"filter", 2}, {"filterintensity", 1.0f}};
}

TEST(SavingRules, AdditionalFormatNames)
{
    EXPECT_EQ(additionalFormatPath("/Users/me/Pictures/beach.jpg", "@2x"), "/Users/me/Pictures/beach@2x.jpg");
    EXPECT_EQ(additionalFormatPath("/Users/jpg/photos/pic.jpg", "@2x"), "/Users/jpg/photos/pic@2x.jpg");
    EXPECT_EQ(additionalFormatPath("/tmp/out/holiday.tar.jpg", "-small"), "/tmp/out/holiday.tar-small.jpg");
    EXPECT_EQ(additionalFormatPath("/tmp/out/shot.png", "@3x"), "/tmp/out/shot@3x.png");
    EXPECT_EQ(additionalFormatPath("/tmp/my.folder/noext", "@2x"), "/tmp/my.folder/noext@2x");

    QVariantMap unnamed = record("x");
    unnamed.remove("modifier");
    unnamed["name"] = "thumb";
    EXPECT_EQ(formatModifier(unnamed), "thumb");
    EXPECT_EQ(additionalFormatPath("/p/beach.jpg", formatModifier(unnamed)), "/p/beachthumb.jpg");
    EXPECT_EQ(formatModifier(record("@2x")), "@2x");
}

TEST(SavingRules, ModifiersNeverLeaveTheBaseFolder)
{
    LogCapture log;
    EXPECT_EQ(additionalFormatPath("/home/me/out/beach.jpg", "/../../.bashrc"), QString());
    EXPECT_EQ(additionalFormatPath("/home/me/out/beach.jpg", "/sub"), QString());
    EXPECT_EQ(log.messages().size(), 2);
    EXPECT_TRUE(log.messages().first().startsWith("skipping format"));
    // An empty modifier would name the base output itself.
    EXPECT_EQ(additionalFormatPath("/home/me/out/beach.jpg", ""), QString());
    EXPECT_EQ(additionalFormatPath("/home/me/out/beach.jpg", "..x"), "/home/me/out/beach..x.jpg");
}

TEST(SavingRules, BatchOutputNames)
{
    EXPECT_EQ(batchOutputName("/a/one.png", 0), "one.jpg");
    EXPECT_EQ(batchOutputName("/b/two.jpeg", 1), "two.png");
    EXPECT_EQ(batchOutputName("/a/three.tif", 2), "three.tiff");
    EXPECT_EQ(batchOutputName("/a/holiday.tar.gif", 0), "holiday.tar.jpg");
    EXPECT_EQ(batchOutputName("/a/noext", 0), "noext.jpg");
    EXPECT_EQ(batchOutputName("/a/x.png", 9), "x");
}

TEST(SavingRules, PreparedSettingsTakeReferenceSizeAndAdjustments)
{
    const QVariantMap prepared = prepareFormatSettings(record("@2x"), base(), QSizeF(600, 400), QSizeF(1000, 800));
    EXPECT_EQ(prepared["xabs"].toFloat(), 600.0f);
    EXPECT_EQ(prepared["yabs"].toFloat(), 400.0f);
    EXPECT_EQ(prepared["resamplemode"].toInt(), 0);
    EXPECT_EQ(prepared["fillcolour"].toInt(), 2);
    EXPECT_EQ(prepared["modifier"].toString(), "@2x");
    for (const char *key : {"quality", "sharpen", "saturation", "brightness", "exposure", "contrast", "vibrance", "temperature", "filter",
                            "filterintensity"})
        EXPECT_EQ(prepared[key], base()[key]) << key;
    // 2x of a 600 x 400 output of a 1000 x 800 picture: 1200 x 800, larger than the input.
    EXPECT_EQ(formatOutputSize(prepared), QSizeF(1200, 800));
    EXPECT_TRUE(isUpscaled(formatOutputSize(prepared), QSize(1000, 800)));
    EXPECT_FALSE(isUpscaled(QSizeF(1000, 800), QSize(1000, 800)));
    EXPECT_TRUE(isUpscaled(QSizeF(1001, 800), QSize(1000, 800)));

    QVariantMap sameAsMain = record("@2x");
    sameAsMain["resamplemode"] = 3;
    sameAsMain["scalemode"] = 0;
    sameAsMain["xabs"] = "320";
    sameAsMain["yabs"] = "200";
    const QVariantMap absolute = prepareFormatSettings(sameAsMain, base(), QSizeF(600, 400), QSizeF(1000, 800));
    EXPECT_EQ(absolute["resamplemode"].toInt(), 1);
    EXPECT_EQ(absolute["xabs"].toString(), "320") << "absolute sizes stay as typed";
    EXPECT_EQ(formatOutputSize(absolute), QSizeF(320, 200));
}

TEST(SavingRules, RelativeToTheSourceUsesItsNominalSize)
{
    // 2000 x 1000 pixels at 144 dpi: 1000 x 500 points; ratios 0.5 give 500 x 250.
    auto picture = Picture::fromPixels(PixelBuffer::create(2000, 1000, 3, 8), QSizeF(1000, 500));
    QVariantMap half = record("-half");
    half["relativeto"] = 0;
    half["xratio"] = "0.5";
    half["yratio"] = "0.5";
    const QVariantMap prepared = prepareFormatSettings(half, base(), QSizeF(600, 400), picture->size());
    EXPECT_EQ(formatOutputSize(prepared), QSizeF(500, 250));
}

TEST(SavingRules, LongestSideFollowsTheBaseOutputsProportions)
{
    QVariantMap longest = record("-300");
    longest["scalemode"] = 2;
    longest["maxeither"] = "300";
    auto sizeFor = [&](QSizeF baseSize) { return formatOutputSize(prepareFormatSettings(longest, base(), baseSize, QSizeF())); };
    EXPECT_EQ(sizeFor(QSizeF(600, 400)), QSizeF(300, 200));
    EXPECT_EQ(sizeFor(QSizeF(400, 600)), QSizeF(200, 300));
    EXPECT_EQ(sizeFor(QSizeF(500, 500)), QSizeF(300, 300));
    EXPECT_EQ(sizeFor(QSizeF(500, 0)), QSizeF(0, 0));
}

} // namespace
