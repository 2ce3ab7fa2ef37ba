// The conversion driver: settings, size rule, add mode's canvas, encoding and the temp file.

#include "AppPaths.h"
#include "CanvasImageRep.h"
#include "ConversionTestSupport.h"
#include "FileSizeBudget.h"
#include "ImageEncoders.h"
#include "Log.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace {

QVariantMap settingsFor(double w, double h, const QVariantMap &changes = {})
{
    QVariantMap settings{{"scalemode", 0}, {"resamplemode", 0}, {"xabs", w}, {"yabs", h}, {"xratio", 1.0}, {"yratio", 1.0},
                         {"quality", 0.9}, {"sharpen", 0.0}, {"saturation", 1.0}, {"brightness", 0.0}, {"exposure", 0.0},
                         {"contrast", 1.0}, {"vibrance", 0.0}, {"temperature", 12.68}, {"filter", 0}, {"filterintensity", 0.0}};
    settings.insert(changes);
    return settings;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::shared_ptr<const PixelBuffer> canvasPixels(const std::shared_ptr<const Picture> &canvas)
{
    const auto rep = std::dynamic_pointer_cast<const CanvasImageRep>(canvas->representations().back());
    return rep ? rep->pixels() : nullptr;
}

class DriverTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        QDir().mkpath(AppPaths::supportFolder());
        for (const qint64 t : outputFileTypeValues())
            QFile::remove(tempPreviewPath(t));
    }
    void useType(int fileFormat) { defaults.setIntegerForKey(fileFormat, QStringLiteral("fileFormat")); }
    static void writeMarker(const QString &path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
    }
    UserDefaults &defaults = UserDefaults::standard();
    PhotoManipulator engine;
};

TEST(SizeRule, EveryScaleMode)
{
    auto size = [](QVariantMap s) { return PhotoManipulator::targetSizeForSettings(s); };
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 3000}, {"yabs", 2000}, {"maxeither", "600"}}), QSizeF(600, 400));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 2000}, {"yabs", 3000}, {"maxeither", 600}}), QSizeF(400, 600));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 700}, {"yabs", 0}, {"maxeither", 600}}), QSizeF(0, 0));
    EXPECT_EQ(size({{"scalemode", 7}, {"xabs", 700}, {"yabs", 500}}), QSizeF(0, 0));
}

TEST(CanvasFitting, ThePictureIsCentredOverTheFillWhichShowsThroughItsTransparency)
{
    for (const auto &[target, source, canvas] : {std::tuple{QSizeF(400, 400), QSize(1000, 500), QSize(1000, 1000)},
                                                 {QSizeF(1200, 600), QSize(1001, 500), QSize(1001, 500)},
                                                 {QSizeF(1600, 600), QSize(1000, 500), QSize(1333, 500)},
                                                 // One unit short through the single-precision ratio.
                                                 {QSizeF(100, 101), QSize(100, 101), QSize(100, 100)}})
        EXPECT_EQ(PhotoManipulator::canvasSizeFor(target, source), canvas) << source.width() << " x " << source.height();

    PhotoManipulator engine;
    const auto canvas = engine.centreImageOnNewCanvasSizeFillColour(flatPicture(1001, 500, {255, 0, 0}), QSizeF(1200, 600),
                                                                    PhotoManipulator::fillColourFor(1));
    const auto pixels = canvasPixels(canvas);
    ASSERT_TRUE(pixels && canvas->sourcePixelSize() == QSize(1200, 600));
    // The picture's first and last columns and rows, and the fill just outside them.
    for (const auto &[x, y] : {std::pair{98, 300}, {99, 300}, {1099, 300}, {1100, 300}, {500, 49}, {500, 50}, {500, 549}, {500, 550}})
        EXPECT_EQ(pixelAt(*pixels, x, y), (x >= 99 && x < 1100 && y >= 50 && y < 550 ? Rgb{255, 0, 0} : Rgb{0, 0, 0})) << x << "," << y;
    // The virtual canvas renders as its drawn pixels do.
    const auto rendered = NeutralEngine().resizeImageNewSize(canvas, QSizeF(1200, 600));
    ASSERT_TRUE(rendered);
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 1200; x += 13)
            ASSERT_EQ(pixelAt(*rendered, x, y), pixelAt(*pixels, x, y)) << x << "," << y;

    // Red, its two top rows transparent, on grey: half of white's level.
    auto buffer = PixelBuffer::create(4, 4, 4, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            buffer->row(y)[x] = (x % 4 == 3) ? (y < 2 ? 0 : 255) : (x % 4 == 0 ? 255 : 0);
    const auto grey = canvasPixels(engine.centreImageOnNewCanvasSizeFillColour(Picture::fromPixels(buffer), QSizeF(6, 6),
                                                                               PhotoManipulator::fillColourFor(2)));
    ASSERT_TRUE(grey);
    EXPECT_TRUE(pixelAt(*grey, 0, 0)[0] == 127 || pixelAt(*grey, 0, 0)[0] == 128) << pixelAt(*grey, 0, 0)[0];
    EXPECT_EQ(pixelAt(*grey, 2, 1), pixelAt(*grey, 0, 0));
    EXPECT_EQ(pixelAt(*grey, 2, 4), (Rgb{255, 0, 0}));
}

TEST_F(DriverTest, TheStoredBudgetSetsTheQuality)
{
    uint32_t state = 7; // grain, so that the quality moves the file size
    const auto picture = makePicture(240, 180, [&](int x, int y) {
        state = state * 1664525u + 1013904223u;
        return Rgb{int(state >> 24), (x * 3 + y) % 256, 128};
    });
    defaults.setIntegerForKey(12, FileSizeBudget::kilobytesKey);
    for (const auto &[type, budget] : {std::pair{0, true}, {3, true}, {4, true}, {1, true}, {3, false}}) {
        SCOPED_TRACE(testing::Message() << "type " << type << (budget ? " within the budget" : " without one"));
        const bool lowered = budget && type != 1; // a lossless type is written as it is
        defaults.setBoolForKey(budget, FileSizeBudget::keepUnderKey);
        useType(type);
        const EncodedOutput output = engine.convertNSImageForWebWithSettings(picture, settingsFor(200, 150));
        EXPECT_EQ(output.overBudget, budget && !lowered);
        EXPECT_EQ(output.bytes.size() <= 12000, lowered);
        EXPECT_EQ(output.quality < 0.9f, lowered);
        EXPECT_EQ(contents(tempPreviewPath(type)), output.bytes);
    }
}

TEST_F(DriverTest, AddModePadsWithTheStoredFillColourOrWhite)
{
    useType(1);
    defaults.setIntegerForKey(1, QStringLiteral("fillcolour"));
    for (const QColor fill : {QColor(Qt::black), QColor(Qt::white)}) { // stored, then none stored
        engine.convertNSImageForWebWithSettings(flatPicture(1000, 500, {255, 0, 0}), settingsFor(400, 400, {{"resamplemode", 1}}));
        const QColor got = QImage(tempPreviewPath(1)).pixelColor(200, 20);
        // Within one level: the PNG reader applies the gamma chunk.
        EXPECT_TRUE(std::abs(got.red() - fill.red()) <= 1 && std::abs(got.blue() - fill.blue()) <= 1) << got.name().toStdString();
        defaults.removeObjectForKey(QStringLiteral("fillcolour"));
    }
}

TEST_F(DriverTest, WhatMakesNoOutputIsLoggedAndLeavesNoStaleFileButNoPictureTouchesNothing)
{
    const char *zero = "returning - one dimension is zero";
    struct Case {
        std::string name;
        int type;
        QVariantMap settings;
        const char *said; // how the line before the write error begins, if there is one
    };
    std::vector<Case> cases = {
        {"the longest side of a picture with a zero side", 0, settingsFor(300, 0, {{"scalemode", 2}, {"maxeither", 100}}), zero},
        {"an output type outside 0-4 clears the jpg file", 5, settingsFor(10, 10), nullptr},
        {"a canvas too high to fill", 1, settingsFor(1, 3e9, {{"resamplemode", 1}}), "the canvas of"},
        {"an absurd size", 1, settingsFor(200000, 200000), ""},
    };
    // Add mode must not first build a canvas of the zero side's proportions (an endless one).
    for (int mode : {0, 1})
        for (const auto &[w, h] : {std::pair{0, 100}, {100, 0}, {0, 0}})
            cases.push_back({"mode " + std::to_string(mode) + ", " + std::to_string(w) + " x " + std::to_string(h), 0,
                             settingsFor(w, h, {{"resamplemode", mode}}), zero});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        useType(c.type);
        const QString file = tempPreviewPath(c.type > 4 ? 0 : c.type);
        writeMarker(file);
        LogCapture log;
        engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), c.settings);
        const QStringList lines = log.messages();
        ASSERT_EQ(lines.size(), c.said ? 2 : 1) << lines.join('\n').toStdString();
        EXPECT_TRUE(!c.said || lines.first().startsWith(QString::fromLatin1(c.said))) << lines.first().toStdString();
        EXPECT_EQ(lines.last(), "Error writing to file: " + file);
        EXPECT_FALSE(QFile::exists(file));
    }
    // No picture: nothing said, nothing touched.
    useType(0);
    writeMarker(tempPreviewPath(0));
    LogCapture log;
    engine.convertNSImageForWebWithSettings(nullptr, settingsFor(10, 10));
    EXPECT_TRUE(log.messages().isEmpty());
    EXPECT_EQ(contents(tempPreviewPath(0)), QByteArray("old"));
    // A folder in the way: said, and the write still tried.
    useType(1);
    const QString path = tempPreviewPath(1);
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), settingsFor(10, 10));
    EXPECT_EQ(log.messages(), (QStringList{"unable to remove  file " + path, "Error writing to file: " + path}));
    QDir(path).removeRecursively();
}

// The sizes the engine promises up front are ones it makes; one pixel more is refused.
TEST(OutputSizes, TheLargestPromisedSideIsMadeInEveryType)
{
    PhotoManipulator engine;
    engine.setThreadCount(1);
    for (const qint64 type : {0, 1, 2}) {
        const int side = largestEncodedSide(outputFileTypeFor(type).encoding);
        EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(side, 1), type), "") << type;
        EXPECT_NE(PhotoManipulator::outputSizeRefusal(QSize(1, side + 1), type), "") << type;
        const QByteArray made = engine.encodedDataForNSImageWithSettings(flatPicture(4, 1, {9, 9, 9}), settingsFor(side, 1), type, 0);
        EXPECT_FALSE(made.isEmpty()) << "type " << type << " at " << side << " pixels";
    }
    EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(16385, 16384), 1), "one conversion makes at most 268 megapixels");
    EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(10, 10), 9), "the output type 9 writes nothing");
}

// Every step on, so that every filter object the engine keeps has had the picture.
TEST_F(DriverTest, NothingOfThePictureIsKeptOnceTheCallReturnsAndPosterizeTakesWholeIntensities)
{
    useType(1);
    QVariantMap settings = settingsFor(20, 20, {{"sharpen", 0.5}, {"saturation", 1.2}, {"brightness", 0.1}, {"exposure", 0.3},
                                                {"contrast", 1.1}, {"vibrance", 0.2}, {"filter", 3}, {"filterintensity", 0.9}});
    for (int mode : {0, 1}) {
        settings["resamplemode"] = mode;
        auto picture = makePicture(40, 30, [](int x, int y) { return Rgb{x, y, 90}; });
        const std::weak_ptr<const Picture> watched = picture;
        engine.convertNSImageForWebWithSettings(picture, settings);
        ASSERT_TRUE(QFile::exists(tempPreviewPath(1))) << "posterize at 0 x 6 levels renders, as two levels";
        picture.reset();
        EXPECT_TRUE(watched.expired()) << "mode " << mode;
    }
    settings["filterintensity"] = "2.7";
    const auto picture = flatPicture(40, 40, {9, 9, 9});
    engine.convertNSImageForWebWithSettings(picture, settings);
    const FilterImagePtr chain = engine.composeImageNewSize(picture, QSizeF(20, 20));
    const auto colour = stepsOf(chain, FilterImage::Kind::Colour);
    ASSERT_FALSE(colour.empty());
    EXPECT_EQ(colour.front()->colourOp().kind, ColourOp::Kind::ColorPosterize);
    EXPECT_EQ(colour.front()->colourOp().levels, 12.0) << "2.7 counts as 2";
}

} // namespace
