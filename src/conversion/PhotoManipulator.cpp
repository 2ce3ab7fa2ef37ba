#include "PhotoManipulator.h"

#include "CanvasImageRep.h"
#include "FileSizeBudget.h"
#include "FloatEquality.h"
#include "ImageEncoders.h"
#include "Log.h"
#include "Picture.h"
#include "PlistValue.h"
#include "Renderer.h"
#include "SafeFileCopy.h"
#include "SizeBudget.h"
#include "SourceImage.h"
#include "UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {
// The canvas stays virtual, but its rows are still read whole: 2^31 pixels is far beyond
// any picture the decoders accept and far below what would exhaust memory per row.
constexpr long long kMaxCanvasPixels = 1LL << 31;
} // namespace

PhotoManipulator::PhotoManipulator() = default;
PhotoManipulator::~PhotoManipulator() = default;

void PhotoManipulator::awakeFromNib()
{
    for (auto *field : {&AffineClampFilter, &ColorControlsFilter, &ExposureAdjustFilter, &BrightnessAdjustFilter, &VibranceFilter,
                        &temperatureAndTintFilter, &PhotoEffectTonalFilter, &SepiaToneFilter, &ColorPosterizeFilter,
                        &PhotoEffectChromeFilter, &Lanczosfilter, &SharpenLuminanceFilter, &CropFilter})
        field->reset();
}

bool PhotoManipulator::thisFloatIsEqualToFloat(float a, float b)
{
    return ::thisFloatIsEqualToFloat(a, b);
}

void PhotoManipulator::loadFields(const QVariantMap &settings)
{
    sharpeningFactor = recordFloat(settings, QStringLiteral("sharpen"));
    saturationFactor = recordFloat(settings, QStringLiteral("saturation"));
    brightnessFactor = recordFloat(settings, QStringLiteral("brightness"));
    exposureFactor = recordFloat(settings, QStringLiteral("exposure"));
    contrastFactor = recordFloat(settings, QStringLiteral("contrast"));
    vibranceFactor = recordFloat(settings, QStringLiteral("vibrance"));
    temperatureFactor = float(std::exp2(double(recordFloat(settings, QStringLiteral("temperature")))));
    filter = qint32(recordInt(settings, QStringLiteral("filter")));
    intensity = float(recordInteger(settings, QStringLiteral("filterintensity")));
}

QSizeF PhotoManipulator::targetSizeForSettings(const QVariantMap &settings)
{
    const float xabs = recordFloat(settings, QStringLiteral("xabs"));
    const float yabs = recordFloat(settings, QStringLiteral("yabs"));
    float w = 0.0f, h = 0.0f;
    switch (recordInteger(settings, QStringLiteral("scalemode"))) {
    case 0:
        w = xabs;
        h = yabs;
        break;
    case 1:
        w = xabs * recordFloat(settings, QStringLiteral("xratio"));
        h = yabs * recordFloat(settings, QStringLiteral("yratio"));
        break;
    case 2:
        if (yabs > 0.0f) {
            const float r = xabs / yabs;
            const float m = recordFloat(settings, QStringLiteral("maxeither"));
            if (r > 1.0f) {
                w = m;
                h = m / r;
            } else {
                w = m * r;
                h = m;
            }
        }
        break;
    default:
        break;
    }
    return QSizeF(double(w), double(h));
}

QSize PhotoManipulator::canvasSizeFor(QSizeF target, QSize source)
{
    const double w = source.width(), h = source.height();
    const double W = target.width(), H = target.height();
    // Computed in double and kept within int, so an absurd target cannot overflow.
    auto side = [](double v) { return v > 0.0 ? int(std::min(v, double(INT32_MAX))) : 0; };
    if (W / w > H / h)
        return QSize(side(double(float(W / H)) * h), side(h));
    return QSize(side(w), side(double(float(H / W)) * w));
}

QColor PhotoManipulator::fillColourFor(qint64 fillColour)
{
    if (fillColour == 1)
        return QColor::fromRgbF(0.0f, 0.0f, 0.0f);
    if (fillColour == 2)
        return QColor::fromRgbF(0.5f, 0.5f, 0.5f);
    return QColor::fromRgbF(1.0f, 1.0f, 1.0f);
}

std::shared_ptr<const Picture> PhotoManipulator::centreImageOnNewCanvasSizeFillColour(const std::shared_ptr<const Picture> &picture,
                                                                                      QSizeF canvasSize, const QColor &fill)
{
    const QSize source = picture ? picture->sourcePixelSize() : QSize(0, 0);
    // Truncated toward zero: an odd spare unit goes to the right and top margins.
    const qint32 x = qint32((canvasSize.width() - source.width()) * 0.5);
    const qint32 y = qint32((canvasSize.height() - source.height()) * 0.5);
    const QSize canvas(int(canvasSize.width()), int(canvasSize.height()));
    auto rep = std::make_shared<CanvasImageRep>(picture, canvas, QPoint(x, y), fill);
    return std::make_shared<Picture>(Picture::Representations{rep}, QSizeF(canvas));
}

FilterImagePtr PhotoManipulator::toCIImage(const std::shared_ptr<const Picture> &picture) const
{
    return FilterImage::fromPicture(picture);
}

NamedFilter &PhotoManipulator::filterNamed(std::unique_ptr<NamedFilter> &field, const char *name)
{
    if (!field)
        field = NamedFilter::filterWithName(QString::fromLatin1(name));
    return *field;
}

FilterImagePtr PhotoManipulator::run(std::unique_ptr<NamedFilter> &field, const char *name, const FilterImagePtr &image,
                                     std::initializer_list<std::pair<const char *, FilterValue>> values)
{
    NamedFilter &f = filterNamed(field, name);
    for (const auto &[key, value] : values)
        f.setValue(value, QString::fromLatin1(key));
    return outputOf(f, image);
}

FilterImagePtr PhotoManipulator::outputOf(NamedFilter &filter, const FilterImagePtr &image)
{
    filter.setValue(image, QStringLiteral("inputImage"));
    FilterImagePtr output = filter.outputImage();
    // The filter outlives the conversion; its input would hold the picture until the next.
    filter.setValue(FilterImagePtr(), QStringLiteral("inputImage"));
    return output;
}

std::shared_ptr<PixelBuffer> PhotoManipulator::resizeImageNewSize(const std::shared_ptr<const Picture> &picture, QSizeF newSize)
{
    const FilterImagePtr image = composeImageNewSize(picture, newSize);
    if (!image)
        return nullptr;
    // 15. The one render.
    RenderOptions options;
    options.threads = threads_;
    options.cacheLevels = cacheLevels_;
    return renderImage(image, options);
}

FilterImagePtr PhotoManipulator::composeImageNewSize(const std::shared_ptr<const Picture> &picture, QSizeF newSize)
{
    if (!picture)
        return nullptr;
    // 1. Measure: the source pixel size, or the size in points for a picture without one.
    double w = 0.0, h = 0.0;
    const QSize pixels = picture->sourcePixelSize();
    if (pixels.width() > 0 && pixels.height() > 0) {
        w = pixels.width();
        h = pixels.height();
    } else {
        w = picture->size().width();
        h = picture->size().height();
        if (w < 1.0 || h < 1.0) {
            qpLog(QStringLiteral("returning from resizeImage: - one dimension is zero"));
            return nullptr;
        }
    }
    // 2. The target in single precision.
    const float W = float(newSize.width()), H = float(newSize.height());
    if (W == 0.0f || H == 0.0f) {
        qpLog(QStringLiteral("returning - one dimension is zero"));
        return nullptr;
    }
    // 3. One factor covering the target; the overhang is cut equally from both ends.
    const float sx = float(double(W) / w), sy = float(double(H) / h);
    float s = 0.0f;
    double x0 = 0.0, y0 = 0.0;
    if (sx > sy) {
        s = sx;
        y0 = std::trunc((h * double(s) - double(H)) * 0.5);
    } else {
        s = sy;
        x0 = std::trunc((w * double(s) - double(W)) * 0.5);
    }
    // 4-5. The picture, its edges extended without limit.
    FilterImagePtr image = toCIImage(picture);
    AffineClampFilter = NamedFilter::filterWithName(QStringLiteral("CIAffineClamp"));
    AffineClampFilter->setValue(AffineTransform(), QStringLiteral("inputTransform"));
    image = outputOf(*AffineClampFilter, image);
    // 6-11. Adjustments, each skipped at its neutral value, then at most one effect.
    if (!thisFloatIsEqualToFloat(contrastFactor, 1.0f) || !thisFloatIsEqualToFloat(saturationFactor, 1.0f))
        image = run(ColorControlsFilter, "CIColorControls", image,
                    {{"inputContrast", double(contrastFactor)}, {"inputSaturation", double(saturationFactor)}});
    if (!thisFloatIsEqualToFloat(exposureFactor, 0.0f))
        image = run(ExposureAdjustFilter, "CIExposureAdjust", image, {{"inputEV", double(exposureFactor)}});
    if (!thisFloatIsEqualToFloat(brightnessFactor, 0.0f)) {
        const double b = brightnessFactor;
        auto point = [b](double x) { return FilterVector::vectorWithXY(x, b > 0 ? x + b * (1.0 - x) : x * (1.0 + b)); };
        image = run(BrightnessAdjustFilter, "CIToneCurve", image,
                    {{"inputPoint0", FilterVector::vectorWithXY(0.0, 0.0)}, {"inputPoint1", point(0.25)}, {"inputPoint2", point(0.5)},
                     {"inputPoint3", point(0.75)}, {"inputPoint4", FilterVector::vectorWithXY(1.0, 1.0)}});
    }
    if (!thisFloatIsEqualToFloat(vibranceFactor, 0.0f))
        image = run(VibranceFilter, "CIVibrance", image, {{"inputAmount", double(vibranceFactor)}});
    if (!thisFloatIsEqualToFloat(temperatureFactor, 6500.0f))
        image = run(temperatureAndTintFilter, "CITemperatureAndTint", image,
                    {{"inputNeutral", FilterVector::vectorWithXY(6500.0, 0.0)},
                     {"inputTargetNeutral", FilterVector::vectorWithXY(double(temperatureFactor), 0.0)}});
    switch (filter) {
    case 1:
        image = run(PhotoEffectTonalFilter, "CIPhotoEffectTonal", image, {});
        break;
    case 2:
        image = run(SepiaToneFilter, "CISepiaTone", image, {{"inputIntensity", double(intensity)}});
        break;
    case 3:
        image = run(ColorPosterizeFilter, "CIColorPosterize", image, {{"inputLevels", double(intensity * 6.0f)}});
        break;
    case 4:
        image = run(PhotoEffectChromeFilter, "CIPhotoEffectChrome", image, {});
        break;
    default:
        break;
    }
    // 12-14. Scale, sharpen at output resolution, crop (origin at the lower left).
    image = run(Lanczosfilter, "CILanczosScaleTransform", image, {{"inputScale", double(s)}, {"inputAspectRatio", 1.0}});
    if (!thisFloatIsEqualToFloat(sharpeningFactor, 0.0f))
        image = run(SharpenLuminanceFilter, "CISharpenLuminance", image, {{"inputSharpness", double(sharpeningFactor)}});
    return run(CropFilter, "CICrop", image, {{"inputRectangle", FilterVector::vectorWithXYZW(x0, y0, double(W), double(H))}});
}

std::shared_ptr<PixelBuffer> PhotoManipulator::renderNSImageWithSettings(const std::shared_ptr<const Picture> &picture,
                                                                         const QVariantMap &settings, qint64 fillColour)
{
    if (!picture)
        return nullptr;
    loadFields(settings);
    const QSizeF target = targetSizeForSettings(settings);
    // A zero side has no canvas of its proportions; the chain refuses it with its line.
    const bool zeroSide = float(target.width()) == 0.0f || float(target.height()) == 0.0f;
    if (recordInteger(settings, QStringLiteral("resamplemode")) == 0 || zeroSide)
        return resizeImageNewSize(picture, target);
    const QSize canvas = canvasSizeFor(target, picture->sourcePixelSize());
    if ((long long)canvas.width() * canvas.height() > kMaxCanvasPixels) {
        qpLog(QStringLiteral("the canvas of %1 x %2 pixels is too large to fill").arg(canvas.width()).arg(canvas.height()));
        return nullptr;
    }
    return resizeImageNewSize(centreImageOnNewCanvasSizeFillColour(picture, QSizeF(canvas), fillColourFor(fillColour)), target);
}

EncodedOutput PhotoManipulator::encodedOutputForNSImageWithSettings(const std::shared_ptr<const Picture> &picture,
                                                                    const QVariantMap &settings, const OutputOptions &options)
{
    EncodedOutput output;
    const float quality = recordFloat(settings, QStringLiteral("quality"));
    output.quality = quality;
    const std::shared_ptr<PixelBuffer> pixels = renderNSImageWithSettings(picture, settings, options.fillColour);
    const OutputFileType type = outputFileTypeFor(options.fileFormat);
    if (!pixels || type.encoding == ImageEncoding::None)
        return output;
    const float factor = type.encoding == ImageEncoding::TIFF ? 1.0f : quality;
    BudgetedEncoding encoded = encodeWithinBudget(*pixels, type.encoding, factor, options.maxBytes, threads_);
    output.bytes = std::move(encoded.bytes);
    if (type.qualityEnabled)
        output.quality = encoded.compressionFactor;
    output.overBudget = encoded.overBudget && !output.bytes.isEmpty();
    output.pixels = pixels;
    return output;
}

QString PhotoManipulator::outputSizeRefusal(QSize pixels, qint64 fileFormat)
{
    const OutputFileType type = outputFileTypeFor(fileFormat);
    const int side = largestEncodedSide(type.encoding);
    if (type.encoding == ImageEncoding::None)
        return QStringLiteral("the output type %1 writes nothing").arg(fileFormat);
    if (pixels.width() > side || pixels.height() > side)
        return QStringLiteral("a %1 output has at most %2 pixels a side").arg(type.batchExtension).arg(side);
    if ((long long)pixels.width() * pixels.height() > kMaxRenderedPixels)
        return QStringLiteral("one conversion makes at most %1 megapixels").arg(kMaxRenderedPixels / 1'000'000);
    return {};
}

QByteArray PhotoManipulator::encodedDataForNSImageWithSettings(const std::shared_ptr<const Picture> &picture, const QVariantMap &settings,
                                                               qint64 fileFormat, qint64 fillColour)
{
    return encodedOutputForNSImageWithSettings(picture, settings, {fileFormat, fillColour, 0}).bytes;
}

EncodedOutput PhotoManipulator::convertNSImageForWebWithSettings(const std::shared_ptr<const Picture> &picture, const QVariantMap &settings)
{
    if (!picture)
        return {};
    UserDefaults &defaults = UserDefaults::standard();
    const OutputOptions options{defaults.integerForKey(QStringLiteral("fileFormat")), defaults.integerForKey(QStringLiteral("fillcolour")),
                                FileSizeBudget::storedMaxBytes(defaults)};
    EncodedOutput output = encodedOutputForNSImageWithSettings(picture, settings, options);
    const QString path = tempPreviewPath(options.fileFormat);
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        if (!QFile::remove(path))
            qpLog(QStringLiteral("unable to remove  file %1").arg(path));
    }
    const bool written = !output.bytes.isEmpty() && writeFileReplacing(path, output.bytes);
    if (!written)
        qpLog(QStringLiteral("Error writing to file: %1").arg(path));
    return output;
}
