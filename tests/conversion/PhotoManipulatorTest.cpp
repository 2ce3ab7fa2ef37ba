// The conversion driver: settings, size rule, add mode's canvas, encoding and the temp file.

#include "AppPaths.h"
#include "CanvasImageRep.h"
#include "ImageEncoders.h"
#include "ConversionTestSupport.h"
#include "FileSizeBudget.h"
#include "Log.h"
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
        for (const qint64 t : outputFileTypeValues())
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
    // The picture's first and last columns and rows, and the fill just outside them.
    for (const auto &[x, y] : {std::pair{98, 300}, {99, 300}, {1099, 300}, {1100, 300}, {500, 49}, {500, 50}, {500, 549}, {500, 550}})
        EXPECT_EQ(pixelAt(*pixels, x, y), (x >= 99 && x < 1100 && y >= 50 && y < 550 ? Rgb{255, 0, 0} : Rgb{0, 0, 0})) << x << "," << y;

    // The virtual canvas renders as its drawn pixels do.
    auto rendered = NeutralEngine().resizeImageNewSize(canvas, QSizeF(1200, 600));
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

// A picture whose pixels are counted as the renderer takes them.
class CountedRep : public MemoryImageRep {
public:
    using MemoryImageRep::MemoryImageRep;
    std::shared_ptr<const PixelBuffer> pixels() const override
    {
        ++taken;
        return MemoryImageRep::pixels();
    }
    mutable int taken = 0;
};

TEST_F(DriverTest, TheStoredBudgetSetsTheQualityOfPixelsRenderedOnce)
{
    // Grain, so that the quality moves the file size.
    uint32_t state = 7;
    const auto buffer = makeBuffer(240, 180, [&](int x, int y) {
        state = state * 1664525u + 1013904223u;
        return Rgb{int(state >> 24), (x * 3 + y) % 256, 128};
    });
    const auto rep = std::make_shared<CountedRep>(buffer);
    const auto picture = std::make_shared<Picture>(Picture::Representations{rep}, QSizeF(240, 180));
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setBoolForKey(true, FileSizeBudget::keepUnderKey);
    defaults.setIntegerForKey(12, FileSizeBudget::kilobytesKey);
    for (const int type : {0, 3, 4}) {
        SCOPED_TRACE(type);
        useType(type);
        rep->taken = 0;
        const EncodedOutput output = engine.convertNSImageForWebWithSettings(picture, baseSettings(200, 150));
        EXPECT_EQ(rep->taken, 1);
        EXPECT_FALSE(output.overBudget);
        EXPECT_LE(output.bytes.size(), 12000);
        EXPECT_LT(output.quality, 0.9f); // lowered from the settings' quality
        QFile file(tempPreviewPath(type));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), output.bytes);
    }
    // A lossless type is written as it is, and said to be over the budget.
    useType(1);
    const EncodedOutput png = engine.convertNSImageForWebWithSettings(picture, baseSettings(200, 150));
    EXPECT_TRUE(png.overBudget);
    EXPECT_GT(png.bytes.size(), 12000);
    EXPECT_FLOAT_EQ(png.quality, 0.9f);
    // Off, the settings' quality is the one.
    defaults.setBoolForKey(false, FileSizeBudget::keepUnderKey);
    useType(3);
    const EncodedOutput free = engine.convertNSImageForWebWithSettings(picture, baseSettings(200, 150));
    EXPECT_FLOAT_EQ(free.quality, 0.9f);
    EXPECT_GT(free.bytes.size(), 12000);
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
    for (const auto &[x, y] : {std::pair{200, 50}, {200, 200}, {200, 350}, {0, 200}})
        EXPECT_TRUE(near(out.pixelColor(x, y), y == 200 ? QColor(Qt::red) : QColor(Qt::black))) << x << "," << y;

    // Without a stored fill colour the border is white.
    UserDefaults::standard().removeObjectForKey(QStringLiteral("fillcolour"));
    engine.convertNSImageForWebWithSettings(flatPicture(1000, 500, {255, 0, 0}), settings);
    EXPECT_TRUE(near(QImage(tempPreviewPath(1)).pixelColor(200, 20), QColor(Qt::white)));
}

// Whatever makes no output is logged and leaves no stale temp file from an earlier render.
TEST_F(DriverTest, WhatMakesNoOutputIsLoggedAndLeavesNoStaleFile)
{
    const auto with = [](QVariantMap settings, const QVariantMap &changes) {
        for (auto it = changes.begin(); it != changes.end(); ++it)
            settings[it.key()] = it.value();
        return settings;
    };
    const QString zero = QStringLiteral("returning - one dimension is zero"), error = QStringLiteral("Error writing to file: ");
    struct Case {
        std::string name;
        int type;
        QVariantMap settings;
        QStringList log; // "*" ends a line's beginning; the temp file's path follows the error line
    };
    std::vector<Case> cases = {
        {"the longest side of a picture with a zero side", 0,
         with(baseSettings(300, 0), {{"scalemode", 2}, {"maxeither", 100}}), {zero, error}},
        {"an output type outside 0-4 clears the jpg file", 5, baseSettings(10, 10), {error}},
        {"a canvas too high to fill", 1, with(baseSettings(1, 3e9), {{"resamplemode", 1}}), {"the canvas of*", error}},
        {"an absurd size", 1, baseSettings(200000, 200000), {"*", error}},
    };
    // Add mode must not first build a canvas of the zero side's proportions (an endless one).
    for (int mode : {0, 1})
        for (const QSizeF target : {QSizeF(0, 100), QSizeF(100, 0), QSizeF(0, 0)})
            cases.push_back({"mode " + std::to_string(mode) + ", " + std::to_string(int(target.width())) + " x "
                                 + std::to_string(int(target.height())),
                             0, with(baseSettings(target.width(), target.height()), {{"resamplemode", mode}}), {zero, error}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        useType(c.type);
        const QString file = tempPreviewPath(c.type > 4 ? 0 : c.type);
        writeMarker(file);
        LogCapture log;
        engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), c.settings);
        const QStringList lines = log.messages();
        ASSERT_EQ(lines.size(), c.log.size()) << lines.join('\n').toStdString();
        for (int i = 0; i < c.log.size(); ++i) {
            const QString &want = c.log[i], &got = lines[i];
            EXPECT_TRUE(want == error ? got == error + file : want.endsWith('*') ? got.startsWith(want.chopped(1)) : got == want)
                << got.toStdString();
        }
        EXPECT_FALSE(QFile::exists(file));
    }
}

TEST_F(DriverTest, NullPictureTouchesNothingAndAnUnremovableTempFileIsLogged)
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

    // A folder in the way: said, and the write still tried.
    useType(1);
    const QString path = tempPreviewPath(1);
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    engine.convertNSImageForWebWithSettings(flatPicture(30, 20, {1, 2, 3}), baseSettings(10, 10));
    EXPECT_EQ(log.messages(), (QStringList{"unable to remove  file " + path, "Error writing to file: " + path}));
    QDir(path).removeRecursively();
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
    const auto colour = stepsOf(chain, FilterImage::Kind::Colour);
    ASSERT_FALSE(colour.empty());
    EXPECT_EQ(colour.front()->colourOp().kind, ColourOp::Kind::ColorPosterize);
    EXPECT_EQ(colour.front()->colourOp().levels, 12.0);
}

TEST_F(DriverTest, StepsRunOnlyAwayFromTheirNeutralValues)
{
    auto picture = flatPicture(20, 20, {100, 100, 100});
    FilterImagePtr chain;
    auto colourKinds = [&] { // from the source on
        chain = engine.composeImageNewSize(picture, QSizeF(10, 10));
        std::vector<ColourOp::Kind> kinds;
        for (const FilterImage *step : stepsOf(chain, FilterImage::Kind::Colour))
            kinds.insert(kinds.begin(), step->colourOp().kind);
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
    const ColourOp &curve = stepsOf(chain, FilterImage::Kind::Colour).back()->colourOp(); // the first step
    ASSERT_EQ(curve.kind, K::ToneCurve);
    for (int i = 1; i <= 4; ++i) // brightness -0.5 lowers the curve's points, but white stays white
        EXPECT_DOUBLE_EQ(curve.curveY[size_t(i)], i == 4 ? 1.0 : 0.125 * i) << i;
}

} // namespace
