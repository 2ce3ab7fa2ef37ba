#include "SaveAll.h"

#include "Log.h"
#include "OutputFileType.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "PlistValue.h"
#include "SafeFileCopy.h"
#include "SavingRules.h"

#include <QFile>
#include <QFileInfo>

namespace SaveAll {

namespace {

// The temp preview file holds the last output written, as after the driver's own
// conversion; the preview and the copy both read it.
bool replaceTempPreviewFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !QFile::remove(path))
        qpLog(QStringLiteral("unable to remove  file %1").arg(path));
    QString why;
    const bool written = !bytes.isEmpty() && writeFileReplacing(path, bytes, &why);
    if (!written && !why.isEmpty())
        qpLog(why);
    if (!written)
        qpLog(QStringLiteral("Error writing to file: %1").arg(path));
    return written;
}

} // namespace

QByteArray convertOutput(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                         const QVariantMap &settings, qint64 fileFormat, qint64 fillColour, const QString &destination)
{
    const QString temp = tempPreviewPath(fileFormat);
    std::unique_lock<std::mutex> lock(conversionMutex, std::defer_lock);
    if (kind == Engine::SharedWithPreview)
        lock.lock();
    QByteArray bytes = engine.encodedDataForNSImageWithSettings(picture, settings, fileFormat, fillColour);
    if (!lock.owns_lock())
        lock.lock();
    const bool haveTemp = replaceTempPreviewFile(temp, bytes);
    if (destination.isEmpty())
        return bytes;
    QString why;
    if (!haveTemp || !copyFileReplacing(temp, destination, &why)) {
        qpLog(QStringLiteral("failed to copy image from %1 to %2").arg(temp, destination));
        if (!why.isEmpty())
            qpLog(why);
        return QByteArray();
    }
    return bytes;
}

int32_t saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                              const QString &basePath, const SaveJob &job, QByteArray *baseBytes)
{
    if (basePath.isEmpty())
        return 0;
    int32_t scaledUp = 0;
    const QSize largest = picture ? picture->largestPixelSize() : QSize(0, 0);
    const float largestWidth = float(largest.width());
    const float largestHeight = float(largest.height());
    const float outputWidth = recordFloat(job.baseSettings, QStringLiteral("xabs"));
    const float outputHeight = recordFloat(job.baseSettings, QStringLiteral("yabs"));

    QByteArray base = convertOutput(engine, kind, conversionMutex, picture, job.baseSettings, job.fileFormat, job.fillColour, basePath);
    if (baseBytes)
        *baseBytes = base;
    if (job.warnAboutUpscaling && (outputWidth > largestWidth || outputHeight > largestHeight)) {
        qpLog(QString::asprintf("setting 2 bit: size fields are %.2f and %.2f, image is %.2f and %.2f", double(outputWidth),
                                double(outputHeight), double(largestWidth), double(largestHeight)));
        scaledUp |= kBaseUpscaled;
    }

    const QSizeF baseOutputSize(outputWidth, outputHeight);
    const QSizeF nominal = picture ? QSizeF(float(picture->size().width()), float(picture->size().height())) : QSizeF(0, 0);
    for (const QVariant &entry : job.formats) {
        const QVariantMap record = entry.toMap();
        if (!recordBool(record, QStringLiteral("selected")))
            continue;
        qpLog(QStringLiteral("format selected: %1").arg(describeRecord(record)));
        const QVariantMap prepared = SavingRules::prepareFormatSettings(record, job.baseSettings, baseOutputSize, nominal);
        // Empty, with its own log line, for a modifier that would leave the base folder.
        const QString path = SavingRules::additionalFormatPath(basePath, SavingRules::formatModifier(record));
        if (path.isEmpty())
            continue;
        if (job.warnAboutUpscaling) {
            qpLog(QStringLiteral("about to save an additional format: %1").arg(describeRecord(record)));
            if (SavingRules::isUpscaled(SavingRules::formatOutputSize(prepared), largest))
                scaledUp |= kFormatUpscaled;
        }
        convertOutput(engine, kind, conversionMutex, picture, prepared, job.fileFormat, job.fillColour, path);
    }
    return scaledUp;
}

QString describeRecord(const QVariantMap &record)
{
    QStringList entries;
    for (auto it = record.constBegin(); it != record.constEnd(); ++it)
        entries << QStringLiteral("%1 = %2;").arg(it.key(), plistString(it.value()));
    return QStringLiteral("{%1}").arg(entries.join(QLatin1Char(' ')));
}

} // namespace SaveAll
