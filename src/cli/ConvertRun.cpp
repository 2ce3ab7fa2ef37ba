// The run: the list put together, every output planned, this shard's pictures converted
// on a few workers, each picture told once and reported as it ends.

#include "ConsoleMessages.h"
#include "ConvertCommand.h"
#include "ConvertReport.h"
#include "ConvertSettings.h"
#include "FileSizeBudget.h"
#include "FormatStore.h"
#include "ImageDecoders.h"
#include "Log.h"
#include "OutputPlan.h"
#include "Parallel.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "PlistValue.h"
#include "QuillpaneVersion.h"
#include "SafeFileCopy.h"
#include "SavingRules.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// Makes the folder and those above it; false, with `why`, when that is not possible.
bool makeFolder(const QString &path, QString &why)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).constData(), error);
    if (!error)
        return true;
    why = QStringLiteral("the folder %1 cannot be made: %2").arg(path, QString::fromStdString(error.message()));
    return false;
}

// The pixel size the encoded bytes announce; false when they are no picture.
bool measure(const QByteArray &bytes, ReportedOutput &output)
{
    std::vector<BitmapPageInfo> pages;
    QString error;
    if (!probeBitmap(bytes, sniffPictureFormat(bytes), pages, error) || pages.empty())
        return false;
    output.width = pages.front().width;
    output.height = pages.front().height;
    output.bytes = bytes.size();
    return true;
}

// An output already in place: a plain file that is a picture (temporary files are renamed
// into place only once whole, so one that is there is complete).
std::optional<ReportedOutput> existingOutput(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink())
        return std::nullopt;
    QFile file(path);
    ReportedOutput output{path};
    output.existing = true;
    if (!file.open(QIODevice::ReadOnly) || !measure(file.readAll(), output))
        return std::nullopt;
    return output;
}

QString upscaledNote(const QString &path)
{
    return QStringLiteral("%1 is larger than its input picture; upscaled pictures are likely to be less sharp").arg(path);
}

// One picture: its outputs written (or left, when already there), its one report line.
class PictureJob {
public:
    PictureJob(const ConvertCommand &command, PhotoManipulator &engine)
        : command_(command)
        , engine_(engine)
    {
    }

    // `overBudget` names the outputs larger than the budget: told even when notes are not.
    ReportLine run(const QString &input, const PlannedPicture &planned, QStringList &notes, QStringList &overBudget)
    {
        QElapsedTimer clock;
        clock.start();
        ReportLine line;
        line.input = input;
        QStringList failures;
        if (planned.refusal.isEmpty()) {
            LogDiversion log; // the engine's reasons become part of this picture's one message
            convert(input, planned, line, failures, notes, overBudget, log);
            if (failures.isEmpty())
                notes << log.take();
        } else {
            failures << planned.refusal;
        }
        line.reason = failures.join(QStringLiteral("; "));
        line.milliseconds = clock.elapsed();
        return line;
    }

private:
    void convert(const QString &input, const PlannedPicture &planned, ReportLine &line, QStringList &failures, QStringList &notes,
                 QStringList &overBudget,
                 LogDiversion &log)
    {
        std::vector<const PlannedOutput *> toWrite;
        for (const PlannedOutput &output : planned.outputs) {
            QString why;
            if (!output.refusal.isEmpty())
                failures << output.refusal;
            else if (!removeLeftoverTemporary(output.path, &why))
                failures << output.path + QLatin1Char(' ') + why;
            else if (const auto kept = command_.skipExisting ? existingOutput(output.path) : std::nullopt)
                line.outputs.push_back(*kept);
            else
                toWrite.push_back(&output);
        }
        if (toWrite.empty())
            return;
        QString error;
        const auto picture = Picture::referenceFile(input, error);
        if (!picture) {
            failures << QStringLiteral("cannot be read: %1").arg(error.isEmpty() ? log.take().join(QStringLiteral("; ")) : error);
            return;
        }
        const QSizeF size = outputSizeFor(command_, picture->size());
        QVariantMap base = command_.conversion;
        base[QStringLiteral("scalemode")] = 0;
        base[QStringLiteral("xabs")] = float(size.width());
        base[QStringLiteral("yabs")] = float(size.height());
        base[QStringLiteral("xratio")] = 1.0f;
        base[QStringLiteral("yratio")] = 1.0f;
        base[QStringLiteral("relativeto")] = 1;
        const QSize largest = picture->largestPixelSize();
        for (const PlannedOutput *output : toWrite) {
            const bool isBase = output->format.isEmpty();
            const QVariantMap settings = isBase ? base : SavingRules::prepareFormatSettings(output->format, base, size, picture->size());
            const QSizeF target = SavingRules::formatOutputSize(settings);
            ReportedOutput written{output->path};
            QString why;
            const EncodedOutput encoded =
                engine_.encodedOutputForNSImageWithSettings(picture, settings, {command_.fileFormat, command_.fillColour, command_.maxBytes});
            const QByteArray &data = encoded.bytes;
            if (data.isEmpty()) {
                failures << QStringLiteral("%1 could not be made at %2 x %3 pixels: %4")
                                .arg(output->path)
                                .arg(qRound64(target.width()))
                                .arg(qRound64(target.height()))
                                .arg(log.take().join(QStringLiteral("; ")));
            } else if (!makeFolder(QFileInfo(output->path).path(), why)) {
                failures << why;
            } else if (!writeFileReplacing(output->path, data, &why)) {
                failures << output->path + QLatin1Char(' ') + why;
            } else {
                measure(data, written);
                written.overBudget = encoded.overBudget;
                line.outputs.push_back(written);
                if (encoded.overBudget)
                    overBudget << output->path + QLatin1Char(' ')
                            + FileSizeBudget::overBudgetReason(data.size(), command_.maxBytes, command_.fileFormat);
                if (command_.warnUpscaling && SavingRules::isUpscaled(target, largest))
                    notes << upscaledNote(output->path);
                continue;
            }
            // Formats are named and sized from the base output: without it they are not made.
            if (isBase)
                return;
        }
    }

    const ConvertCommand &command_;
    PhotoManipulator &engine_;
};

int printWhatWasAsked(const ConvertCommand &command)
{
    const QByteArray text = command.print == ConvertCommand::Print::Settings ? settingsFileText(command.settings)
        : command.print == ConvertCommand::Print::Formats                     ? formatsFileText(command.formatList)
                                                                              : QByteArray("quillpane-convert ") + quillpaneVersion + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
}

} // namespace

int runConvertCommand(const ConvertCommand &command)
{
    for (const QString &note : command.notes)
        std::fprintf(stderr, "quillpane-convert: %s\n", qPrintable(note));
    if (command.print != ConvertCommand::Print::Nothing)
        return printWhatWasAsked(command);
    QString why;
    if (!makeFolder(command.outputFolder, why)) {
        std::fprintf(stderr, "quillpane-convert: %s\n", qPrintable(why));
        return 2;
    }
    InputSources sources = command.inputs;
    sources.skipFolder = command.outputFolder;
    InputList list;
    if (!gatherInputs(sources, list, why)) {
        std::fprintf(stderr, "quillpane-convert: %s\n", qPrintable(why));
        return 2;
    }
    OutputRules rules{command.outputFolder, command.keepTree, command.fileFormat, {}};
    if (command.formats) {
        for (const QVariant &format : command.formatList)
            if (recordBool(format.toMap(), FormatKey::selected))
                rules.formats << format;
        if (rules.formats.isEmpty())
            std::fprintf(stderr, "quillpane-convert: --formats: no format of the format list is selected; only the base outputs are written\n");
    }
    // Planned over the whole list, so every shard decides alike which picture keeps a path.
    const std::vector<PlannedPicture> plan = planOutputs(list.pictures, rules);
    const std::vector<int> positions = shardPositions(int(list.pictures.size()), command.shardIndex, command.shardCount);

    ReportFile report;
    if (!command.report.isEmpty() && !report.open(command.report, why)) {
        std::fprintf(stderr, "quillpane-convert: %s\n", qPrintable(why));
        return 2;
    }
    ConsoleMessages console(int(positions.size()), !command.quiet && standardErrorIsTerminal());
    std::atomic<bool> failed{!list.problems.isEmpty()};
    for (const QString &problem : list.problems)
        console.say(problem);
    std::atomic<bool> reportFailed{false};

    const int workers = std::clamp(command.jobs, 1, std::max(1, int(positions.size())));
    const int threadsEach = std::max(1, hardwareThreads() / workers);
    std::atomic<size_t> next{0};
    parallelFor(workers, workers, [&](int) {
        PhotoManipulator engine;
        engine.awakeFromNib();
        engine.setThreadCount(threadsEach);
        engine.setCachesLevels(false);
        PictureJob job(command, engine);
        for (size_t n = next++; n < positions.size(); n = next++) {
            const int i = positions[n];
            const QString &input = list.pictures[i];
            QStringList notes, overBudget;
            const ReportLine line = job.run(input, plan[size_t(i)], notes, overBudget);
            if (!line.reason.isEmpty()) {
                failed = true;
                console.say(input + QStringLiteral(": ") + line.reason);
            }
            for (const QString &over : overBudget)
                console.say(input + QStringLiteral(": ") + over);
            if (!command.quiet)
                for (const QString &note : notes)
                    console.say(input + QStringLiteral(": ") + note);
            QString reportWhy;
            if (!command.report.isEmpty() && !report.append(line, reportWhy) && !reportFailed.exchange(true))
                console.say(reportWhy);
            console.pictureEnded();
        }
    });
    console.finish();
    return failed || reportFailed ? 1 : 0;
}
