// The conversion driver: settings, size rule, add mode's canvas, encoding and the temp file.

#include "AppPaths.h"
#include "CanvasImageRep.h"
#include "ImageEncoders.h"
#include "ConversionTestSupport.h"
#include "Log.h"
#include "OutputFileType.h"
#include "PhotoManipulator.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace {

QVariantMap baseSettings(double w, double h)
{
    return {{"scalemode", 0}, {"resamplemode", 0}, {"xabs", w}, {"yabs", h}, {"xratio", 1.0}, {"yratio", 1.0}, {"quality", 0.9},
            {"sharpen", 0.0}, {"saturation", 1.0}, {"brightness", 0.0}, {"exposure", 0.0}, {"contrast", 1.0}, {"vibrance", 0.0},
            {"temperature", 12.68}, {"filter", 0}, {"filterintensity", 0.0}};
}

// Qt's PNG reader applies the file's gamma chunk, which can move a level by one.
bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 && std::abs(a.blue() - b.blue()) <= 1;
}

class DriverTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        QDir().mkpath(AppPaths::supportFolder());
        for (int t = 0; t < 3; ++t)
            QFile::remove(tempPreviewPath(t));
    }
    void useType(int fileFormat) { UserDefaults::standard().setIntegerForKey(fileFormat, QStringLiteral("fileFormat")); }
    static void writeMarker(const QString &path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    PhotoManipulator engine;
};

TEST(SizeRule, EveryScaleMode)
{
    auto size = [](QVariantMap s) { return PhotoManipulator::targetSizeForSettings(s); };
    EXPECT_EQ(size({{"scalemode", 0}, {"xabs", "640"}, {"yabs", 480.5}}), QSizeF(640, 480.5));
    EXPECT_EQ(size({{"scalemode", 1}, {"xabs", 500}, {"yabs", 300}, {"xratio", "2"}, {"yratio", 2.0}}), QSizeF(1000, 600));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 3000}, {"yabs", 2000}, {"maxeither", "600"}}), QSizeF(600, 400));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 2000}, {"yabs", 3000}, {"maxeither", 600}}), QSizeF(400, 600));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 700}, {"yabs", 700}, {"maxeither", 600}}), QSizeF(600, 600));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 1200}, {"yabs", 675}, {"maxeither", 600}}), QSizeF(600, 337.5));
    EXPECT_EQ(size({{"scalemode", 2}, {"xabs", 700}, {"yabs", 0}, {"maxeither", 600}}), QSizeF(0, 0));
    EXPECT_EQ(size({{"scalemode", 7}, {"xabs", 700}, {"yabs", 500}}), QSizeF(0, 0));
    EXPECT_EQ(size({}), QSizeF(0, 0));
}

TEST(CanvasFitting, CanvasSizesAndOffsets)
{
    EXPECT_EQ(PhotoManipulator::canvasSizeFor(QSizeF(400, 400), QSize(1000, 500)), QSize(1000, 1000));
    EXPECT_EQ(PhotoManipulator::canvasSizeFor(QSizeF(1200, 600), QSize(1001, 500)), QSize(1001, 500));
    EXPECT_EQ(PhotoManipulator::canvasSizeFor(QSizeF(1600, 600), QSize(1000, 500)), QSize(1333, 500));
    // The picture's own proportions can fall one unit short through the single-precision ratio.
    EXPECT_EQ(PhotoManipulator::canvasSizeFor(QSizeF(100, 101), QSize(100, 101)), QSize(100, 100));

    PhotoManipulator engine;
    auto picture = flatPicture(1001, 500, {255, 0, 0});
    auto canvas = engine.centreImageOnNewCanvasSizeFillColour(picture, QSizeF(1200, 600), PhotoManipulator::fillColourFor(1));
    ASSERT_EQ(canvas->sourcePixelSize(), QSize(1200, 600));
    auto rep = std::dynamic_pointer_cast<const CanvasImageRep>(canvas->representations().back());
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->offset(), QPoint(99, 50));
    auto pixels = rep->pixels();
    EXPECT_EQ(pixelAt(*pixels, 98, 300), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 99, 300), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 1099, 300), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 1100, 300), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 500, 49), (Rgb{0, 0, 0}));  // top margin: 50 rows
    EXPECT_EQ(pixelAt(*pixels, 500, 50), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 500, 549), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixelAt(*pixels, 500, 550), (Rgb{0, 0, 0}));

    // The virtual canvas renders as its drawn pixels do.
    engine.contrastFactor = engine.saturationFactor = 1.0f;
    engine.temperatureFactor = 6500.0f;
    auto rendered = engine.resizeImageNewSize(canvas, QSizeF(1200, 600));
    ASSERT_TRUE(rendered);
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 1200; x += 13)
            ASSERT_EQ(pixelAt(*rendered, x, y), pixelAt(*pixels, x, y)) << x << "," << y;
}

TEST(CanvasFitting, FillShowsThroughTransparencyAndGreyIsHalfWhite)
{
    auto buffer = PixelBuffer::create(4, 4, 4, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            buffer->row(y)[x] = (x % 4 == 3) ? (y < 2 ? 0 : 255) : (x % 4 == 0 ? 255 : 0);
    PhotoManipulator engine;
    auto canvas = engine.centreImageOnNewCanvasSizeFillColour(Picture::fromPixels(buffer), QSizeF(6, 6), PhotoManipulator::fillColourFor(2));
    auto pixels = std::dynamic_pointer_cast<const CanvasImageRep>(canvas->representations().back())->pixels();
    const Rgb grey = pixelAt(*pixels, 0, 0);
    EXPECT_TRUE(grey[0] == 127 || grey[0] == 128) << grey[0];
    EXPECT_EQ(pixelAt(*pixels, 2, 1), grey);              // transparent rows of the picture
    EXPECT_EQ(pixelAt(*pixels, 2, 4), (Rgb{255, 0, 0})); // opaque rows
    EXPECT_EQ(PhotoManipulator::fillColourFor(7), QColor(Qt::white));
    EXPECT_EQ(PhotoManipulator::fillColourFor(1), QColor(Qt::black));
}

TEST_F(DriverTest, WritesTheTempFileOfTheStoredType)
{
    useType(1);
    writeMarker(tempPreviewPath(1));
    auto picture = makePicture(300, 200, [](int x, int y) { return Rgb{x % 256, y % 256, 90}; });
    engine.convertNSImageForWebWithSettings(picture, baseSettings(150, 100));
    QImage out(tempPreviewPath(1));
    ASSERT_FALSE(out.isNull());
    EXPECT_EQ(out.size(), QSize(150, 100));

    useType(0);
    engine.convertNSImageForWebWithSettings(picture, baseSettings(64, 64));
    EXPECT_EQ(QImage(tempPreviewPath(0)).size(), QSize(64, 64));
    EXPECT_TRUE(QFile::exists(tempPreviewPath(1))) << "another type's file stays";
}

TEST_F(DriverTest, AddModePadsWithTheStoredFillColour)
{
    useType(1);
    UserDefaults::standard().setIntegerForKey(1, QStringLiteral("fillcolour"));
    QVariantMap settings = baseSettings(400, 400);
    settings["resamplemode"] = 1;
    engine.convertNSImageForWebWithSettings(flatPicture(1000, 500, {255, 0, 0}), settings);
    QImage out(tempPreviewPath(1));
    ASSERT_EQ(out.size(), QSize(400, 400));
    EXPECT_TRUE(near(out.pixelColor(200, 50), QColor(Qt::black)));
    EXPECT_TRUE(near(out.pixelColor(200, 200), QColor(Qt::red)));
    EXPECT_TRUE(near(out.pixelColor(200, 350), QColor(Qt::black)));
    EXPECT_TRUE(near(out.pixelColor(0, 200), QColor(Qt::red)));

    // Without a stored fill colour the border is white.
    UserDefaults::standard().removeObjectForKey(QStringLiteral("fillcolour"));
    engine.convertNSImageForWebWithSettings(flatPicture(1000, 500, {255, 0, 0}), settings);
    EXPECT_TRUE(near(QImage(tempPreviewPath(1)).pixelColor(200, 20), QColor(Qt::white)));
}

TEST_F(DriverTest, NoOutputRemovesTheOldFileAndSaysSo)
{
    useType(0);
    writeMarker(tempPreviewPath(0));
    QVariantMap settings = baseSettings(0, 0);
    settings["scalemode"] = 2;
    settings["xabs"] = 300;
    settings["maxeither"] = 100;
    LogCapture log;
    engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), settings);
    EXPECT_EQ(log.messages(), (QStringList{QStringLiteral("returning - one dimension is zero"),
                                           QStringLiteral("Error writing to file: %1").arg(tempPreviewPath(0))}));
    EXPECT_FALSE(QFile::exists(tempPreviewPath(0)));

    // An output type outside 0-2 encodes nothing and clears the jpg temp file.
    useType(5);
    writeMarker(tempPreviewPath(0));
    log.clear();
    engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), baseSettings(10, 10));
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("Error writing to file: %1").arg(tempPreviewPath(0))});
    EXPECT_FALSE(QFile::exists(tempPreviewPath(0)));
}

TEST_F(DriverTest, AZeroSideIsRefusedByTheChainInEitherMode)
{
    // Add mode must not first build a canvas of the zero side's proportions (an endless one).
    useType(0);
    const auto picture = flatPicture(240, 160, {1, 2, 3});
    for (int mode : {0, 1})
        for (const QSizeF target : {QSizeF(0, 100), QSizeF(100, 0), QSizeF(0, 0)}) {
            QVariantMap settings = baseSettings(target.width(), target.height());
            settings["resamplemode"] = mode;
            LogCapture log;
            engine.convertNSImageForWebWithSettings(picture, settings);
            EXPECT_EQ(log.messages().join(QLatin1Char('\n')).toStdString(),
                      ("returning - one dimension is zero\nError writing to file: " + tempPreviewPath(0)).toStdString())
                << "mode " << mode << ", " << target.width() << " x " << target.height();
        }
}

TEST_F(DriverTest, NothingOfThePictureIsKeptOnceTheCallReturns)
{
    useType(1);
    // Every step on, so that every filter object the engine keeps has had the picture.
    QVariantMap settings = baseSettings(40, 30);
    for (const auto &[key, value] : std::initializer_list<std::pair<const char *, double>>{
             {"sharpen", 0.5}, {"saturation", 1.2}, {"brightness", 0.1}, {"exposure", 0.3}, {"contrast", 1.1},
             {"vibrance", 0.2}, {"temperature", 13.0}, {"filter", 3}, {"filterintensity", 1}})
        settings[key] = value;
    for (int mode : {0, 1}) {
        settings["resamplemode"] = mode;
        auto picture = makePicture(80, 50, [](int x, int y) { return Rgb{x, y, 90}; });
        const std::weak_ptr<const Picture> watched = picture;
        engine.convertNSImageForWebWithSettings(picture, settings);
        ASSERT_TRUE(QFile::exists(tempPreviewPath(1)));
        picture.reset();
        EXPECT_TRUE(watched.expired()) << "mode " << mode;
    }
}

TEST_F(DriverTest, AnExposureOfTwoHundredStopsLeavesBlackBlack)
{
    // 2^200 is infinite in single precision, and black times infinity is NaN. 13 columns:
    // the last five never go through the 8-wide kernels.
    useType(1);
    QVariantMap settings = baseSettings(13, 13);
    settings["exposure"] = 200;
    settings["filter"] = 1;
    engine.convertNSImageForWebWithSettings(flatPicture(13, 13, {0, 0, 0}), settings);
    const QImage out(tempPreviewPath(1));
    ASSERT_EQ(out.size(), QSize(13, 13));
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(out.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
}

TEST_F(DriverTest, AbsurdSizesAreRefusedWithALine)
{
    useType(1);
    QVariantMap settings = baseSettings(1, 3e9);
    settings["resamplemode"] = 1;
    LogCapture log;
    engine.convertNSImageForWebWithSettings(flatPicture(10, 10, {1, 2, 3}), settings);
    ASSERT_EQ(log.messages().size(), 2);
    EXPECT_TRUE(log.messages()[0].startsWith(QStringLiteral("the canvas of"))) << log.messages()[0].toStdString();
    EXPECT_FALSE(QFile::exists(tempPreviewPath(1)));

    log.clear();
    engine.convertNSImageForWebWithSettings(flatPicture(10, 10, {1, 2, 3}), baseSettings(200000, 200000));
    EXPECT_EQ(log.messages().size(), 2);
    EXPECT_FALSE(QFile::exists(tempPreviewPath(1)));
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
        const QByteArray made = engine.encodedDataForNSImageWithSettings(flatPicture(4, 1, {9, 9, 9}), baseSettings(side, 1), type, 0);
        EXPECT_FALSE(made.isEmpty()) << "type " << type << " at " << side << " pixels";
    }
    EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(16384, 16384), 1), "");
    EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(16385, 16384), 1), "one conversion makes at most 268 megapixels");
    EXPECT_EQ(PhotoManipulator::outputSizeRefusal(QSize(10, 10), 9), "the output type 9 writes nothing");
}

TEST_F(DriverTest, NullPictureTouchesNothing)
{
    useType(0);
    writeMarker(tempPreviewPath(0));
    engine.filter = 3;
    LogCapture log;
    engine.convertNSImageForWebWithSettings(nullptr, baseSettings(10, 10));
    EXPECT_TRUE(log.messages().isEmpty());
    EXPECT_EQ(engine.filter, 3);
    QFile f(tempPreviewPath(0));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old"));
}

TEST_F(DriverTest, UnremovableTempFileIsLoggedAndTheWriteStillTried)
{
    useType(1);
    const QString path = tempPreviewPath(1);
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    LogCapture log;
    engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), baseSettings(10, 10));
    EXPECT_EQ(log.messages(), (QStringList{QStringLiteral("unable to remove  file %1").arg(path), QStringLiteral("Error writing to file: %1").arg(path)}));
    QDir(path).removeRecursively();
}

TEST_F(DriverTest, SettingsLoadTheEngineFields)
{
    useType(1);
    QVariantMap settings = baseSettings(20, 20);
    settings["filterintensity"] = 0.9;
    settings["filter"] = "3";
    settings["sharpen"] = " 0.5abc";
    engine.convertNSImageForWebWithSettings(flatPicture(40, 40, {9, 9, 9}), settings);
    EXPECT_EQ(engine.intensity, 0.0f);
    EXPECT_EQ(engine.filter, 3);
    EXPECT_FLOAT_EQ(engine.sharpeningFactor, 0.5f);
    EXPECT_NEAR(engine.temperatureFactor, 6562.37f, 0.01f);
    // Posterize at 0 x 6 levels still renders (as two levels), never divides by zero.
    EXPECT_TRUE(QFile::exists(tempPreviewPath(1)));

    settings["filterintensity"] = "2.7";
    const auto picture = flatPicture(40, 40, {9, 9, 9});
    engine.convertNSImageForWebWithSettings(picture, settings);
    EXPECT_EQ(engine.intensity, 2.0f);
    // The chain the fields now compose.
    const FilterImagePtr chain = engine.composeImageNewSize(picture, QSizeF(20, 20));
    const FilterImage *node = chain.get();
    while (node && node->kind() != FilterImage::Kind::Colour)
        node = node->input().get();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->colourOp().kind, ColourOp::Kind::ColorPosterize);
    EXPECT_EQ(node->colourOp().levels, 12.0);
}

TEST_F(DriverTest, StepsRunOnlyAwayFromTheirNeutralValues)
{
    auto picture = flatPicture(20, 20, {100, 100, 100});
    FilterImagePtr chain;
    auto colourKinds = [&] {
        chain = engine.composeImageNewSize(picture, QSizeF(10, 10));
        std::vector<ColourOp::Kind> kinds;
        for (const FilterImage *n = chain.get(); n; n = n->input().get())
            if (n->kind() == FilterImage::Kind::Colour)
                kinds.insert(kinds.begin(), n->colourOp().kind);
        return kinds;
    };
    engine.contrastFactor = 1.0f;
    engine.saturationFactor = 1.2f;
    engine.exposureFactor = engine.brightnessFactor = engine.vibranceFactor = 0.0f;
    engine.temperatureFactor = 6500.0f;
    engine.filter = 5;
    EXPECT_EQ(colourKinds(), std::vector<ColourOp::Kind>{ColourOp::Kind::ColorControls});

    engine.saturationFactor = 1.000009f;
    engine.brightnessFactor = -0.5f;
    engine.temperatureFactor = 6562.37f;
    engine.filter = 2;
    engine.intensity = 0.0f;
    using K = ColourOp::Kind;
    EXPECT_EQ(colourKinds(), (std::vector<K>{K::ToneCurve, K::TemperatureAndTint, K::SepiaTone}));
    ASSERT_TRUE(engine.resizeImageNewSize(picture, QSizeF(10, 10)));
    const FilterImage *n = chain.get();
    while (n->kind() != FilterImage::Kind::Colour || n->colourOp().kind != K::ToneCurve)
        n = n->input().get();
    EXPECT_DOUBLE_EQ(n->colourOp().curveY[1], 0.125);
    EXPECT_DOUBLE_EQ(n->colourOp().curveY[2], 0.25);
    EXPECT_DOUBLE_EQ(n->colourOp().curveY[3], 0.375);
    EXPECT_DOUBLE_EQ(n->colourOp().curveY[4], 1.0);
}

} // namespace
