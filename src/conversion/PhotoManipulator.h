#pragma once
// The conversion engine: one picture and one conversion settings record in, one encoded
// file out. Calls on one engine must not overlap; inside a conversion the renderer uses
// every core.

#include "FilterImage.h"
#include "NamedFilter.h"
#include "PixelBuffer.h"

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QSizeF>
#include <QVariantMap>
#include <memory>

class Picture;

class PhotoManipulator {
public:
    PhotoManipulator();
    ~PhotoManipulator();
    PhotoManipulator(const PhotoManipulator &) = delete;
    PhotoManipulator &operator=(const PhotoManipulator &) = delete;

    // Forgets the filter objects made so far; they are made again on first use.
    void awakeFromNib();

    // The conversion driver: converts with the settings, encodes in the type stored under
    // "fileFormat" and replaces that type's temp preview file (removed, with a log line,
    // when nothing could be made). A null picture touches nothing.
    void convertNSImageForWebWithSettings(const std::shared_ptr<const Picture> &picture, const QVariantMap &settings);

    // The same conversion with the output type ("fileFormat" values) and fill colour
    // ("fillcolour" values) given, returning the encoded bytes and writing nothing; empty
    // when no output could be made. For callers that write elsewhere (the command line).
    QByteArray encodedDataForNSImageWithSettings(const std::shared_ptr<const Picture> &picture, const QVariantMap &settings,
                                                 qint64 fileFormat, qint64 fillColour);

    // The filter chain: the picture scaled to cover the target and cut to it, adjusted
    // and sharpened with the engine's fields; null (logged) on failure. Nothing of the
    // picture is kept once it returns.
    std::shared_ptr<PixelBuffer> resizeImageNewSize(const std::shared_ptr<const Picture> &picture, QSizeF newSize);
    // The description that resizeImageNewSize renders, held by the caller alone; null
    // without a picture, and (logged) when the picture or the target has no size.
    FilterImagePtr composeImageNewSize(const std::shared_ptr<const Picture> &picture, QSizeF newSize);
    // Canvas fitting: the picture drawn unscaled, centred, on a canvas of canvasSize filled
    // with fill (kept virtual: see CanvasImageRep.h).
    std::shared_ptr<const Picture> centreImageOnNewCanvasSizeFillColour(const std::shared_ptr<const Picture> &picture,
                                                                       QSizeF canvasSize, const QColor &fill);
    FilterImagePtr toCIImage(const std::shared_ptr<const Picture> &picture) const;
    static bool thisFloatIsEqualToFloat(float a, float b);

    // The size rule of the settings: "scalemode" 0 absolute, 1 relative, 2 longest side.
    static QSizeF targetSizeForSettings(const QVariantMap &settings);
    // Add mode's canvas for a target and a source pixel size.
    static QSize canvasSizeFor(QSizeF target, QSize source);
    // Why no output of that many pixels can be made in the type ("fileFormat" values):
    // too long a side for the type, or more pixels than one render makes; worded to follow
    // the size. Empty when it can.
    static QString outputSizeRefusal(QSize pixels, qint64 fileFormat);
    // Fill colours of "fillcolour": 1 black, 2 grey (white level 0.5), anything else white.
    static QColor fillColourFor(qint64 fillColour);

    // Renderer settings: threads for one conversion (0: all cores), and whether pre-shrunk
    // levels are kept with each picture for the next conversion (the live preview).
    void setThreadCount(int threads) { threads_ = threads; }
    void setCachesLevels(bool cache) { cacheLevels_ = cache; }

    // Loaded from the settings by every conversion; read by the chain.
    float sharpeningFactor = 0.0f;
    float saturationFactor = 0.0f;
    float brightnessFactor = 0.0f;
    float exposureFactor = 0.0f;
    float contrastFactor = 0.0f;
    float vibranceFactor = 0.0f;
    float temperatureFactor = 0.0f;
    float intensity = 0.0f;
    qint32 filter = 0;

private:
    void loadFields(const QVariantMap &settings);
    NamedFilter &filterNamed(std::unique_ptr<NamedFilter> &field, const char *name);
    FilterImagePtr run(std::unique_ptr<NamedFilter> &field, const char *name, const FilterImagePtr &image,
                       std::initializer_list<std::pair<const char *, FilterValue>> values);
    static FilterImagePtr outputOf(NamedFilter &filter, const FilterImagePtr &image);

    std::unique_ptr<NamedFilter> AffineClampFilter;
    std::unique_ptr<NamedFilter> ColorControlsFilter;
    std::unique_ptr<NamedFilter> ExposureAdjustFilter;
    std::unique_ptr<NamedFilter> BrightnessAdjustFilter;
    std::unique_ptr<NamedFilter> VibranceFilter;
    std::unique_ptr<NamedFilter> temperatureAndTintFilter;
    std::unique_ptr<NamedFilter> PhotoEffectTonalFilter;
    std::unique_ptr<NamedFilter> SepiaToneFilter;
    std::unique_ptr<NamedFilter> ColorPosterizeFilter;
    std::unique_ptr<NamedFilter> PhotoEffectChromeFilter;
    std::unique_ptr<NamedFilter> Lanczosfilter;
    std::unique_ptr<NamedFilter> SharpenLuminanceFilter;
    std::unique_ptr<NamedFilter> CropFilter;

    int threads_ = 0;
    bool cacheLevels_ = true;
};
