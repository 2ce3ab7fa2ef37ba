#include "SaveAll.h"

#include "FileSizeBudget.h"
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
bool replaceTempPreviewFile(const QString &path, const QByteArray &bytes, QString &why)
{
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !QFile::remove(path))
        qpLog(QStringLiteral("unable to remove  file %1").arg(path));
    const bool written = !bytes.isEmpty() && writeFileReplacing(path, bytes, &why);
    if (!written && !why.isEmpty())
        qpLog(path + QLatin1Char(' ') + why);
    if (!written)
        qpLog(QStringLiteral("Error writing to file: %1").arg(path));
    return written;
}

// Why the engine made nothing for these settings, to follow the output's name.
QString whyNothingWasMade(const QVariantMap &settings, qint64 fileFormat)
{
    if (outputFileTypeFor(fileFormat).encoding == ImageEncoding::None)
        return QStringLiteral("was not made: the output type %1 is not one the program writes").arg(fileFormat);
    const QSizeF size = SavingRules::formatOutputSize(settings);
    return QStringLiteral("could not be made at %1 x %2 pixels").arg(qRound64(size.width())).arg(qRound64(size.height()));
}

} // namespace

EncodedOutput convertOutput(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                            const QVariantMap &settings, const OutputOptions &options, const QString &destination, QString *whyNot,
                            Replacing replacing)
{
    const QString temp = tempPreviewPath(options.fileFormat);
    std::unique_lock<std::mutex> lock(conversionMutex, std::defer_lock);
    if (kind == Engine::SharedWithPreview)
        lock.lock();
    EncodedOutput output = engine.encodedOutputForNSImageWithSettings(picture, settings, options);
    if (!lock.owns_lock())
        lock.lock();
    QString tempWhy;
    const bool haveTemp = replaceTempPreviewFile(temp, output.bytes, tempWhy);
    if (destination.isEmpty())
        return output;
    QString why;
    if (output.bytes.isEmpty())
        why = whyNothingWasMade(settings, options.fileFormat);
    else if (!haveTemp)
        why = QStringLiteral("was not written: its temporary file %1 %2").arg(temp, tempWhy);
    else if (copyFileReplacing(temp, destination, &why, replacing))
        return output;
    qpLog(QStringLiteral("failed to copy image from %1 to %2").arg(temp, destination));
    qpLog(destination + QLatin1Char(' ') + why);
    if (whyNot)
        *whyNot = why;
    return {};
}

SaveOutcome saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                                  const QString &basePath, const SaveJob &job, QByteArray *baseBytes)
{
    SaveOutcome outcome;
    if (basePath.isEmpty())
        return outcome;
    const QSize largest = picture ? picture->largestPixelSize() : QSize(0, 0);
    const float largestWidth = float(largest.width());
    const float largestHeight = float(largest.height());
    const float outputWidth = recordFloat(job.baseSettings, QStringLiteral("xabs"));
    const float outputHeight = recordFloat(job.baseSettings, QStringLiteral("yabs"));
    auto write = [&](const QVariantMap &settings, const QString &path, Replacing replacing) {
        QString why;
        EncodedOutput output = convertOutput(engine, kind, conversionMutex, picture, settings, job.outputOptions(), path, &why, replacing);
        if (output.bytes.isEmpty()) {
            outcome.unwritten.push_back({path, why});
        } else if (output.overBudget) {
            const QString reason = FileSizeBudget::overBudgetReason(output.bytes.size(), job.maxBytes, job.fileFormat);
            qpLog(path + QLatin1Char(' ') + reason);
            outcome.overBudget.push_back({path, reason});
        }
        return output.bytes;
    };

    QByteArray base = write(job.baseSettings, basePath, job.baseReplacing);
    if (baseBytes)
        *baseBytes = base;
    if (job.warnAboutUpscaling && (outputWidth > largestWidth || outputHeight > largestHeight)) {
        qpLog(QString::asprintf("setting 2 bit: size fields are %.2f and %.2f, image is %.2f and %.2f", double(outputWidth),
                                double(outputHeight), double(largestWidth), double(largestHeight)));
        outcome.scaledUp |= kBaseUpscaled;
    }

    const QSizeF baseOutputSize(outputWidth, outputHeight);
    const QSizeF nominal = picture ? QSizeF(float(picture->size().width()), float(picture->size().height())) : QSizeF(0, 0);
    for (const QVariant &entry : job.formats) {
        const QVariantMap record = entry.toMap();
        if (!recordBool(record, QStringLiteral("selected")))
            continue;
        qpLog(QStringLiteral("format selected: %1").arg(describeRecord(record)));
        const QVariantMap prepared = SavingRules::prepareFormatSettings(record, job.baseSettings, baseOutputSize, nominal);
        QString refusal;
        const QString path = SavingRules::additionalFormatPath(basePath, SavingRules::formatModifier(record), &refusal);
        if (path.isEmpty()) {
            qpLog(refusal);
            outcome.unwritten.push_back({QString(), refusal});
            continue;
        }
        if (job.warnAboutUpscaling) {
            qpLog(QStringLiteral("about to save an additional format: %1").arg(describeRecord(record)));
            if (SavingRules::isUpscaled(SavingRules::formatOutputSize(prepared), largest))
                outcome.scaledUp |= kFormatUpscaled;
        }
        write(prepared, path, Replacing::Allowed);
    }
    return outcome;
}

QStringList formatPaths(const QString &basePath, const QVariantList &formats)
{
    QStringList paths;
    for (const QVariant &entry : formats) {
        const QVariantMap record = entry.toMap();
        if (!recordBool(record, QStringLiteral("selected")))
            continue;
        const QString path = SavingRules::additionalFormatPath(basePath, SavingRules::formatModifier(record));
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

QString describeRecord(const QVariantMap &record)
{
    QStringList entries;
    for (auto it = record.constBegin(); it != record.constEnd(); ++it)
        entries << QStringLiteral("%1 = %2;").arg(it.key(), plistString(it.value()));
    return QStringLiteral("{%1}").arg(entries.join(QLatin1Char(' ')));
}

} // namespace SaveAll
