#include "SaveAll.h"

#include "FileSizeBudget.h"
#include "Log.h"
#include "ImageEncoders.h"
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
QString whyNothingWasMade(const Picture *picture, const QVariantMap &settings, qint64 fileFormat)
{
    if (outputFileTypeFor(fileFormat).encoding == ImageEncoding::None)
        return QStringLiteral("was not made: the output type %1 is not one the program writes").arg(fileFormat);
    if (picture)
        for (const auto &rep : picture->representations())
            if (const QString failure = rep->failure(); !failure.isEmpty())
                return QStringLiteral("was not made: its picture could not be read (%1)").arg(failure);
    const QSizeF size = SavingRules::formatOutputSize(settings);
    return QStringLiteral("could not be made at %1 x %2 pixels").arg(qRound64(size.width())).arg(qRound64(size.height()));
}

} // namespace

MadeOutputs makeBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex,
                                  const std::shared_ptr<const Picture> &picture, const QString &basePath, const SaveJob &job,
                                  const std::atomic<bool> *stop)
{
    MadeOutputs made;
    if (basePath.isEmpty())
        return made;
    auto stopped = [stop] { return stop && stop->load(); };
    const QSize largest = picture ? picture->largestPixelSize() : QSize(0, 0);
    const float largestWidth = float(largest.width());
    const float largestHeight = float(largest.height());
    const float outputWidth = recordFloat(job.baseSettings, QStringLiteral("xabs"));
    const float outputHeight = recordFloat(job.baseSettings, QStringLiteral("yabs"));
    auto make = [&](const QVariantMap &settings, const QString &path, Replacing replacing) {
        std::unique_lock<std::mutex> lock(conversionMutex, std::defer_lock);
        if (kind == Engine::SharedWithPreview)
            lock.lock();
        EncodedOutput encoded = engine.encodedOutputForNSImageWithSettings(picture, settings, job.outputOptions());
        MadeOutput output{path, std::move(encoded.bytes), QString(), QString(), replacing};
        if (output.bytes.isEmpty())
            output.why = whyNothingWasMade(picture.get(), settings, job.fileFormat);
        else if (encoded.overBudget)
            output.overBudget = FileSizeBudget::overBudgetReason(output.bytes.size(), job.maxBytes, job.fileFormat);
        made.outputs.push_back(std::move(output));
    };

    make(job.baseSettings, basePath, job.baseReplacing);
    if (job.warnAboutUpscaling && (outputWidth > largestWidth || outputHeight > largestHeight)) {
        made.logLines << QString::asprintf("setting 2 bit: size fields are %.2f and %.2f, image is %.2f and %.2f", double(outputWidth),
                                           double(outputHeight), double(largestWidth), double(largestHeight));
        made.scaledUp |= kBaseUpscaled;
    }

    const QSizeF baseOutputSize(outputWidth, outputHeight);
    const QSizeF nominal = picture ? QSizeF(float(picture->size().width()), float(picture->size().height())) : QSizeF(0, 0);
    for (const QVariant &entry : job.formats) {
        if (stopped())
            break;
        const QVariantMap record = entry.toMap();
        if (!recordBool(record, QStringLiteral("selected")))
            continue;
        made.logLines << QStringLiteral("format selected: %1").arg(describeRecord(record));
        const QVariantMap prepared = SavingRules::prepareFormatSettings(record, job.baseSettings, baseOutputSize, nominal);
        QString refusal;
        const QString path = SavingRules::additionalFormatPath(basePath, SavingRules::formatModifier(record), &refusal);
        if (path.isEmpty()) {
            made.logLines << refusal;
            made.refused.push_back({QString(), refusal});
            continue;
        }
        if (job.warnAboutUpscaling) {
            made.logLines << QStringLiteral("about to save an additional format: %1").arg(describeRecord(record));
            if (SavingRules::isUpscaled(SavingRules::formatOutputSize(prepared), largest))
                made.scaledUp |= kFormatUpscaled;
        }
        make(prepared, path, Replacing::Allowed);
    }
    return made;
}

SaveOutcome writeMadeOutputs(const MadeOutputs &made, qint64 fileFormat, std::mutex &conversionMutex)
{
    SaveOutcome outcome;
    outcome.scaledUp = made.scaledUp;
    for (const QString &line : made.logLines)
        qpLog(line);
    const QString temp = tempPreviewPath(fileFormat);
    for (const MadeOutput &output : made.outputs) {
        QString why = output.why;
        bool written = false;
        {
            const std::lock_guard<std::mutex> lock(conversionMutex);
            QString tempWhy;
            const bool haveTemp = replaceTempPreviewFile(temp, output.bytes, tempWhy);
            if (!output.bytes.isEmpty() && !haveTemp)
                why = QStringLiteral("was not written: its temporary file %1 %2").arg(temp, tempWhy);
            else if (haveTemp && copyFileReplacing(temp, output.path, &why, output.replacing)) {
                ++outcome.written;
                written = true;
            }
        }
        if (written) {
            if (!output.overBudget.isEmpty()) {
                qpLog(output.path + QLatin1Char(' ') + output.overBudget);
                outcome.overBudget.push_back({output.path, output.overBudget});
            }
            continue;
        }
        qpLog(QStringLiteral("failed to copy image from %1 to %2").arg(temp, output.path));
        qpLog(output.path + QLatin1Char(' ') + why);
        outcome.unwritten.push_back({output.path, why});
    }
    outcome.unwritten.insert(outcome.unwritten.end(), made.refused.begin(), made.refused.end());
    return outcome;
}

SaveOutcome saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                                  const QString &basePath, const SaveJob &job, QByteArray *baseBytes)
{
    const MadeOutputs made = makeBaseAndAllFormats(engine, kind, conversionMutex, picture, basePath, job);
    if (baseBytes && !made.outputs.empty())
        *baseBytes = made.outputs.front().bytes;
    return writeMadeOutputs(made, job.fileFormat, conversionMutex);
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
