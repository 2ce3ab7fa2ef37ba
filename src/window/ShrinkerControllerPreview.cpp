// The live preview: convert the current picture with the window's settings into the
// temp preview file, show that file at the output size and report its size.

#include "ShrinkerController.h"

#include "Controls.h"
#include "FileSizeBudget.h"
#include "ImageWellArea.h"
#include "ImageEncoders.h"
#include "PlistValue.h"
#include "QP_ImageView.h"
#include "Preferences.h"
#include "SizeFitting.h"
#include "UserDefaults.h"

#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QSysInfo>
#include <QThread>

#include <cmath>

namespace {

// The program's own pixels as a QImage (samples of 16 bits keep their high byte).
QImage imageFromPixels(const PixelBuffer &pixels)
{
    static const QImage::Format formats[] = {QImage::Format_Invalid, QImage::Format_Grayscale8, QImage::Format_RGBA8888,
                                             QImage::Format_RGB888, QImage::Format_RGBA8888};
    if (pixels.channels < 1 || pixels.channels > 4 || pixels.width <= 0 || pixels.height <= 0)
        return {};
    QImage image(pixels.width, pixels.height, formats[pixels.channels]);
    if (image.isNull())
        return {};
    const int bytesPerSample = pixels.bitsPerChannel / 8;
    // The high byte of a 16-bit sample in the machine's (little-endian) order.
    const int highByte = bytesPerSample == 2 ? (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 1 : 0) : 0;
    for (int y = 0; y < pixels.height; ++y) {
        const uint8_t *in = pixels.row(y);
        uchar *out = image.scanLine(y);
        for (int x = 0; x < pixels.width; ++x) {
            auto sample = [&](int c) { return in[(size_t(x) * pixels.channels + c) * bytesPerSample + highByte]; };
            switch (pixels.channels) {
            case 1:
                out[x] = sample(0);
                break;
            case 2: // grey and alpha
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = sample(0);
                out[4 * x + 3] = sample(1);
                break;
            default:
                for (int c = 0; c < pixels.channels; ++c)
                    out[pixels.channels * x + c] = sample(c);
            }
        }
    }
    return image;
}

} // namespace

QImage ShrinkerController::previewImageFromBytes(const QByteArray &bytes, QSize atMost)
{
    // Qt reads the jpeg and png previews quickly; the program's own codecs read the rest.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    if (const QSize full = reader.size(); !atMost.isEmpty() && full.isValid() && (full.width() > atMost.width() || full.height() > atMost.height()))
        reader.setScaledSize(full.scaled(atMost, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    if (!image.isNull())
        return image;
    const std::shared_ptr<const Picture> picture = Picture::fromData(bytes);
    if (!picture || picture->representations().empty())
        return {};
    const std::shared_ptr<const PixelBuffer> pixels = picture->representations().back()->pixels();
    return pixels ? imageFromPixels(*pixels) : QImage();
}

QVariantMap ShrinkerController::previewSettings() const
{
    const QSizeF size = baseOutputSize();
    return {
        {QStringLiteral("scalemode"), 0},
        {QStringLiteral("resamplemode"), resampleModeButton->selectedTag()},
        {QStringLiteral("xabs"), float(size.width())},
        {QStringLiteral("yabs"), float(size.height())},
        {QStringLiteral("xratio"), 1.0f},
        {QStringLiteral("yratio"), 1.0f},
        {QStringLiteral("quality"), qualitySlider->floatValue() / 100.0f},
        {QStringLiteral("sharpen"), sharpenSlider->floatValue()},
        {QStringLiteral("saturation"), saturationSlider->floatValue()},
        {QStringLiteral("brightness"), brightnessSlider->floatValue()},
        {QStringLiteral("exposure"), exposureSlider->floatValue()},
        {QStringLiteral("contrast"), contrastSlider->floatValue()},
        {QStringLiteral("vibrance"), vibranceSlider->floatValue()},
        {QStringLiteral("temperature"), temperatureSlider->floatValue()},
        {QStringLiteral("filterintensity"), filterIntensity->floatValue()},
        {QStringLiteral("filter"), selectedTag(filterPopUp)},
    };
}

void ShrinkerController::updateOutputImage()
{
    QElapsedTimer timer;
    timer.start();
    QVariantMap settings = previewSettings();
    UserDefaults &defaults = UserDefaults::standard();
    if (defaults.boolForKey(PrefKey::retinaDisplay)) {
        settings.insert(QStringLiteral("xratio"), 2.0f);
        settings.insert(QStringLiteral("yratio"), 2.0f);
        settings.insert(QStringLiteral("scalemode"), 1);
    }
    const QSizeF displaySize = baseOutputSize();
    showPictureInTitle();
    const qint64 fileFormat = defaults.integerForKey(PrefKey::fileFormat);
    {
        // The conversion and the read of its file are one unit: no other conversion may
        // replace the file in between.
        const std::lock_guard<std::mutex> lock(conversionMutex);
        const EncodedOutput output = manipulator.convertNSImageForWebWithSettings(inputImage, settings);
        showPreviewFile(tempPreviewPath(fileFormat), displaySize, output.pixels.get());
        if (!output.bytes.isEmpty())
            showBudgetResult(output, fileFormat, FileSizeBudget::storedMaxBytes(defaults));
    }
    if (inputImage)
        lastRenderMilliseconds_ = double(timer.nsecsElapsed()) / 1e6;
}

void ShrinkerController::showPreviewFile(const QString &path, QSizeF displaySize, const PixelBuffer *encodedPixels)
{
    QFileInfo file(path);
    if (!file.exists())
        return;
    QFile reading(path);
    QImage image = reading.open(QIODevice::ReadOnly) ? previewImageFromBytes(reading.readAll()) : QImage();
    if (image.isNull() && encodedPixels)
        image = imageFromPixels(*encodedPixels); // without the encoder's losses, but the right picture
    if (!image.isNull())
        showPreviewImage(image, displaySize);
    file.refresh();
    if (file.exists())
        showFileSizeText(fileSizeText(file.size()));
}

void ShrinkerController::showPictureInTitle()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { showPictureInTitle(); }, Qt::QueuedConnection);
        return;
    }
    const QSizeF base = baseOutputSize();
    fitSizeLabel->setText(inputImage ? QStringLiteral("%1 × %2 px").arg(base.width()).arg(base.height()) : QString());
    if (!inputImage) {
        uiWindow->setWindowTitle(QStringLiteral("Quillpane"));
        return;
    }
    // "[*]" in a title is Qt's mark for unsaved changes; doubled, it shows as written.
    QString name = inputImageName();
    name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    const QSize own = SizeFitting::ownPixelSize(inputImage->largestPixelSize(), inputImage->size());
    uiWindow->setWindowTitle(QStringLiteral("%1 — %2 × %3").arg(name).arg(own.width()).arg(own.height()));
}

QString ShrinkerController::inputImageName() const
{
    const QString path = inputImage ? inputImage->filePath() : QString();
    return path.isEmpty() ? QStringLiteral("Pasted picture") : QFileInfo(path).fileName();
}

void ShrinkerController::setPreviewFits(bool fit)
{
    wellArea->setZoom(fit ? QP_ImageView::Zoom::Fit : QP_ImageView::Zoom::ActualSize);
    zoomToFitItem->setChecked(fit);
    zoomToActualSizeItem->setChecked(!fit);
}

void ShrinkerController::showZoomScale()
{
    if (wellShowsPlaceholder_ || imageWell->image().isNull()) {
        zoomLabel->clear();
        return;
    }
    zoomLabel->setText(QStringLiteral("shown at %1 %").arg(std::lround(imageWell->shownScale() * 100.0)));
}

QString ShrinkerController::fileSizeText(qint64 bytes)
{
    return QString::asprintf("%lld kb", static_cast<long long>(bytes >> 10));
}

void ShrinkerController::showPreviewImage(const QImage &image, QSizeF displaySize)
{
    // Widgets belong to the main thread; a render on another thread posts the change.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, image, displaySize] { showPreviewImage(image, displaySize); },
                                  Qt::QueuedConnection);
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    // The file's pixels shown at the output size in points: one pixel per point, or two
    // with the high-density override, so it shows pixel for pixel on a 2x screen.
    if (displaySize.width() >= 1.0)
        pixmap.setDevicePixelRatio(double(image.width()) / displaySize.width());
    wellShowsPlaceholder_ = false;
    imageWell->setProperty("namedImage", QVariant());
    imageWell->setImage(pixmap);
}

void ShrinkerController::showBudgetResult(const EncodedOutput &output, qint64 fileFormat, qint64 maxBytes)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, output, fileFormat, maxBytes] { showBudgetResult(output, fileFormat, maxBytes); },
                                  Qt::QueuedConnection);
        return;
    }
    // The slider shows the quality the budget allowed; the person's own stays stored.
    if (maxBytes > 0 && outputFileTypeFor(fileFormat).qualityEnabled)
        qualitySlider->setFloatValue(output.quality * 100.0f);
    const QString over = output.overBudget ? QStringLiteral("The output %1").arg(FileSizeBudget::overBudgetReason(output.bytes.size(), maxBytes, fileFormat))
                                           : QString();
    tfFileSize->setToolTip(over);
    tfFileSize->setStyleSheet(over.isEmpty() ? QString() : QStringLiteral("color: #c0392b;"));
}

void ShrinkerController::showFileSizeText(const QString &text)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, text] { showFileSizeText(text); }, Qt::QueuedConnection);
        return;
    }
    tfFileSize->setText(text);
}
