// Arbitrary property-list values as a conversion settings record and as format records:
// the engine converts a small picture with them, the saving rules turn each format into
// settings, and nothing crashes, hangs or disagrees with itself.
//
// The input is a preferences-style JSON object: the object itself is the conversion
// settings record (its "fileFormat" and "fillcolour" entries choose the output type and
// the fill), and the records in its "formats" list are format records.

#include "FormatStore.h"
#include "JsonSettingsFormat.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "PixelBuffer.h"
#include "PlistValue.h"
#include "Renderer.h"
#include "SaveAll.h"
#include "SavingRules.h"

#include <QFileInfo>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// A sane but large target (20000 x 20000) is not a fault, only too slow to fuzz: renders
// over this many pixels are skipped, as are add-mode canvases over it (the renderer reads
// every canvas row it covers). Instrumented, a 4-megapixel output took 15-45 s here.
constexpr double kMaxFuzzPixels = 256.0 * 256;
// Renders up to this size are done twice, on one thread and on two, and must agree.
constexpr double kMaxComparedPixels = 64.0 * 64;
// Format records tried per input: more adds time, not coverage.
constexpr int kMaxFormats = 4;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "settings_records: %s\n", what);
        std::abort();
    }
}

std::shared_ptr<const Picture> makePicture(int w, int h, int channels)
{
    auto buffer = PixelBuffer::create(w, h, channels, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < channels; ++k)
                buffer->row(y)[(x * channels) + k] = uint8_t((x * 37 + y * 11 + k * 90) & 0xff);
    return Picture::fromPixels(buffer);
}

// Opaque, transparent in the other orientation (the alpha and PNG paths), and one flat
// colour, whose output must be flat too. No width is a multiple of 8, so the colour
// loops' plain tails run beside their 8-wide kernels; the heights keep the exact
// multiples the kept findings were made with.
enum class Kind { Opaque, Transparent, Flat };

const std::shared_ptr<const Picture> &picture(Kind kind)
{
    static const auto opaque = makePicture(21, 16, 3);
    static const auto transparent = makePicture(13, 24, 4);
    static const auto flat = [] {
        auto buffer = PixelBuffer::create(21, 16, 3, 8);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 21; ++x) {
                uint8_t *p = buffer->row(y) + x * 3;
                p[0] = 200, p[1] = 120, p[2] = 40;
            }
        return Picture::fromPixels(buffer);
    }();
    return kind == Kind::Opaque ? opaque : kind == Kind::Transparent ? transparent : flat;
}

// Every pixel within a step or two of the first (rounding, JPEG's blocks).
bool isFlat(const PixelBuffer &pixels)
{
    const int tolerance = 2;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width * pixels.channels; ++x)
            if (std::abs(int(pixels.row(y)[x]) - int(pixels.row(0)[x % pixels.channels])) > tolerance)
                return false;
    return true;
}

bool sameFloat(double a, double b)
{
    return float(a) == float(b) || (std::isnan(a) && std::isnan(b));
}

bool renderable(const QVariantMap &settings, const Picture &source)
{
    const QSizeF target = PhotoManipulator::targetSizeForSettings(settings);
    const double w = renderedLength(double(float(target.width())));
    const double h = renderedLength(double(float(target.height())));
    if (w * h > kMaxFuzzPixels)
        return false;
    if (recordInteger(settings, QStringLiteral("resamplemode")) != 0) {
        const QSize canvas = PhotoManipulator::canvasSizeFor(target, source.sourcePixelSize());
        if (double(canvas.width()) * canvas.height() > kMaxFuzzPixels)
            return false;
    }
    return true;
}

// Converts and checks the output: the target's size when anything was made, and always
// something for a plain target, whatever the adjustments say.
void convert(const QVariantMap &settings, qint64 fileFormat, qint64 fillColour, Kind kind)
{
    const auto &source = picture(kind);
    if (!renderable(settings, *source))
        return;
    static PhotoManipulator engine;
    engine.setCachesLevels(false);
    engine.setThreadCount(1);
    const QByteArray data = engine.encodedDataForNSImageWithSettings(source, settings, fileFormat, fillColour);

    const QSizeF target = PhotoManipulator::targetSizeForSettings(settings);
    const float W = float(target.width()), H = float(target.height());
    const bool encodes = fileFormat >= 0 && fileFormat <= 2;
    const bool plain = W >= 1.0f && W <= 512.0f && H >= 1.0f && H <= 512.0f;
    if (encodes && plain)
        check(!data.isEmpty(), "a plain target made nothing");
    if (data.isEmpty())
        return;
    check(encodes, "an output type that encodes nothing made bytes");
    const QSize expected(renderedLength(double(W)), renderedLength(double(H)));
    const auto decoded = Picture::fromData(data);
    check(decoded && decoded->sourcePixelSize() == expected, "the output is not the target's size");
    // Resampling a flat picture must give back the flat colour (adjusted) everywhere; only
    // a strong sharpening may magnify the rounding differences, and added borders differ.
    if (kind == Kind::Flat && std::fabs(recordFloat(settings, QStringLiteral("sharpen"))) <= 10.0f
        && recordInteger(settings, QStringLiteral("resamplemode")) == 0) {
        const auto pixels = decoded->representations().back()->pixels();
        check(pixels && isFlat(*pixels), "a flat picture came out uneven");
    }

    if (double(expected.width()) * expected.height() <= kMaxComparedPixels) {
        engine.setThreadCount(2);
        const QByteArray again = engine.encodedDataForNSImageWithSettings(source, settings, fileFormat, fillColour);
        check(again == data, "two threads rendered other bytes than one");
    }
}

void checkFormat(const QVariantMap &format, const QVariantMap &base, qint64 fileFormat, qint64 fillColour, Kind kind)
{
    const QString basePath = QStringLiteral("/nonexistent/out/photo.jpg");
    const QString modifier = SavingRules::formatModifier(format);
    const QString path = SavingRules::additionalFormatPath(basePath, modifier);
    if (!path.isEmpty())
        check(path != basePath && QFileInfo(path).absolutePath() == QStringLiteral("/nonexistent/out"),
              "a format's file is not a sibling of the base output");

    const QString description = SaveAll::describeRecord(format);
    for (auto it = format.cbegin(); it != format.cend(); ++it)
        check(description.contains(it.key() + QStringLiteral(" = ")), "the record's description misses a key");

    const QString named = SavingRules::batchOutputName(plistString(format.value(FormatKey::name)), fileFormat);
    check(!named.contains(QLatin1Char('/')), "a batch output name holds a folder");

    const QSizeF baseOutput = PhotoManipulator::targetSizeForSettings(base);
    const QVariantMap prepared = SavingRules::prepareFormatSettings(format, base, baseOutput, picture(kind)->size());
    // Only the reference size, the resample mode and the adjustments may differ.
    static const QStringList fromBase = {"quality",  "sharpen",  "saturation",  "brightness", "exposure",
                                         "contrast", "vibrance", "temperature", "filter",     "filterintensity"};
    for (auto it = prepared.cbegin(); it != prepared.cend(); ++it) {
        if (fromBase.contains(it.key()))
            check(it.value() == base.value(it.key()), "an adjustment did not come from the base settings");
        else if (it.key() != FormatKey::xabs && it.key() != FormatKey::yabs && it.key() != FormatKey::resamplemode)
            check(format.contains(it.key()) && it.value() == format.value(it.key()), "a format entry changed on its way");
    }
    const qint64 mode = recordInteger(prepared, FormatKey::resamplemode);
    check(mode != 3 || recordInteger(base, FormatKey::resamplemode) == 3, "resample mode 3 was not replaced");

    // The upscaling warning and the conversion must agree on the size of the output.
    const QSizeF warned = SavingRules::formatOutputSize(prepared);
    const QSizeF converted = PhotoManipulator::targetSizeForSettings(prepared);
    check(sameFloat(warned.width(), converted.width()) && sameFloat(warned.height(), converted.height()),
          "the upscaling test and the conversion disagree on the output size");
    (void)SavingRules::isUpscaled(warned, picture(kind)->largestPixelSize());

    convert(prepared, fileFormat, fillColour, kind);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QSettings::SettingsMap map;
    if (!parseJsonSettings(bytes, map))
        return 0;
    const QVariantMap settings(map);
    const qint64 fileFormat = recordInteger(settings, QStringLiteral("fileFormat"));
    const qint64 fillColour = recordInteger(settings, QStringLiteral("fillcolour"));
    const Kind kind = Kind(size % 3); // every picture, without spending input bytes on it

    convert(settings, fileFormat, fillColour, kind);
    const QVariantList formats = settings.value(QStringLiteral("formats")).toList();
    for (qsizetype i = 0; i < formats.size() && i < kMaxFormats; ++i)
        if (formats[i].typeId() == QMetaType::QVariantMap)
            checkFormat(formats[i].toMap(), settings, fileFormat, fillColour, kind);
    return 0;
}
