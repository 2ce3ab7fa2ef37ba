// The Save command for one picture, the save-all operation, and the alerts after a save:
// the outputs that could not be written, and the upscaling warning.

#include "ShrinkerController.h"

#include "FileSizeBudget.h"
#include "Log.h"
#include "ImageEncoders.h"
#include "Preferences.h"
#include "SaveAll.h"
#include "SavingJob.h"
#include "SavingRules.h"
#include "UserDefaults.h"
#include "WindowMessage.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStandardPaths>
#include <QUrl>

#include <filesystem>
#include <system_error>

SaveAll::SaveJob saveJobFromWindow(const ShrinkerController &controller)
{
    SaveAll::SaveJob job;
    job.baseSettings = controller.previewSettings();
    job.baseSettings.insert(QStringLiteral("relativeto"), 1);
    const UserDefaults &defaults = UserDefaults::standard();
    job.fileFormat = defaults.integerForKey(PrefKey::fileFormat);
    job.fillColour = defaults.integerForKey(PrefKey::fillcolour);
    job.maxBytes = FileSizeBudget::storedMaxBytes(defaults);
    job.warnAboutUpscaling = defaults.boolForKey(PrefKey::warnAboutUpscaling);
    job.formats = defaults.arrayForKey(PrefKey::formats);
    return job;
}

bool ShrinkerController::refuseWhileBatchRuns(const char *what)
{
    if (!batchIsRunning())
        return false;
    qpLog(QStringLiteral("a batch is being saved: %1 waits until it has finished").arg(QString::fromLatin1(what)));
    DialogPresenter::current().beep();
    return true;
}

void ShrinkerController::doit()
{
    if (refuseWhileBatchRuns("Save"))
        return;
    // Nothing to convert: the command must not clear or write any destination.
    if (!inputFileArray && !inputImage) {
        qpLog(QStringLiteral("nothing to save: no picture has been given"));
        DialogPresenter::current().beep();
        return;
    }
    scaledUp = 0;
    unwrittenOutputs.clear();
    overBudgetOutputs.clear();
    writtenOutputs = 0;
    UserDefaults &defaults = UserDefaults::standard();
    if (inputFileArray) {
        FilePanel panel;
        panel.title = QStringLiteral("Choose location for the batch of resized images");
        panel.prompt = QStringLiteral("Save");
        panel.canCreateDirectories = true;
        panel.canChooseDirectories = true;
        panel.canChooseFiles = false;
        panel.directory = batchSaveFolder();
        const FilePanelResult chosen = DialogPresenter::current().runOpenPanel(panel);
        if (chosen.returnCode != 1 || chosen.urls.isEmpty() || chosen.urls.first().toLocalFile().isEmpty())
            return;
        QString folder = chosen.urls.first().toLocalFile();
        defaults.setObjectForKey(folder, PrefKey::lastSaveFolder);
        if (defaults.boolForKey(PrefKey::makeDirectoryForBatch)) {
            folder += QLatin1Char('/') + getUniqueFolderName();
            std::error_code error;
            std::filesystem::create_directories(folder.toStdString(), error);
            if (error) {
                qpLog(QStringLiteral("Unable to create directory %1, %2").arg(folder, QString::fromStdString(error.message())));
                return;
            }
        }
        saveMultipleFilesTo(folder);
        return;
    }
    FilePanel panel;
    panel.allowedFileTypes = outputFileTypeFor(defaults.integerForKey(PrefKey::fileFormat)).savePanelTypes;
    panel.allowsOtherFileTypes = false;
    panel.directory = singleSaveFolder();
    panel.suggestedName = suggestedSaveName();
    savePanelDidEndReturnCodeContextInfo(DialogPresenter::current().runSavePanel(panel));
    showUnwrittenOutputsIfAny();
    showUpscalingWarningIfNeeded();
}

void ShrinkerController::savePanelDidEndReturnCodeContextInfo(const FilePanelResult &panel)
{
    if (panel.returnCode != 1)
        return;
    const QString typed = panel.urls.isEmpty() ? QString() : panel.urls.first().toLocalFile();
    if (typed.isEmpty()) {
        qpLog(QStringLiteral("no filename"));
        return;
    }
    // Every output of the save takes the base output's extension: it must be the type's.
    const QString path = SavingRules::withOutputExtension(typed, UserDefaults::standard().integerForKey(PrefKey::fileFormat));
    if (path != typed)
        qpLog(QStringLiteral("%1 is saved as %2, with the extension of the output type").arg(typed, path));
    UserDefaults::standard().setObjectForKey(QFileInfo(path).absolutePath(), PrefKey::lastSaveFolder);
    saveBaseAndAllFormatsWithBaseSaveLocation(path);
    SaveSummary summary;
    summary.written = writtenOutputs;
    summary.folder = QFileInfo(path).absolutePath();
    summary.unwritten = unwrittenOutputs;
    summary.overBudget = overBudgetOutputs;
    showSaveSummary(summary);
}

namespace {

// The stored folder of the latest save, when it is still a folder.
QString lastSaveFolder()
{
    const QString stored = UserDefaults::standard().stringForKey(PrefKey::lastSaveFolder);
    return !stored.isEmpty() && QFileInfo(stored).isDir() ? stored : QString();
}

QString folderOf(const QString &file)
{
    const QString folder = file.isEmpty() ? QString() : QFileInfo(file).absolutePath();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

// Never the folder the program happened to be started from.
QString picturesFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

} // namespace

QString ShrinkerController::singleSaveFolder() const
{
    for (const QString &folder : {folderOf(inputImage ? inputImage->filePath() : QString()), lastSaveFolder()})
        if (!folder.isEmpty())
            return folder;
    return picturesFolder();
}

QString ShrinkerController::batchSaveFolder() const
{
    for (const QString &folder : {lastSaveFolder(), folderOf(inputFileArray && !inputFileArray->isEmpty() ? inputFileArray->first() : QString())})
        if (!folder.isEmpty())
            return folder;
    return picturesFolder();
}

QString ShrinkerController::suggestedSaveName() const
{
    QString name = SavingRules::withOutputExtension(inputImageName(), UserDefaults::standard().integerForKey(PrefKey::fileFormat));
    const QString own = inputImage ? inputImage->filePath() : QString();
    if (own.isEmpty() || QFileInfo(QDir(singleSaveFolder()).filePath(name)) != QFileInfo(own))
        return name;
    // Taken as offered, that name would put the copy over the picture itself.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return name.insert(dot > 0 ? dot : name.size(), QStringLiteral("-%1px").arg(qint64(baseOutputSize().width())));
}

void ShrinkerController::saveBaseAndAllFormatsWithBaseSaveLocation(const QString &path)
{
    if (path.isEmpty())
        return;
    SaveAll::SaveOutcome outcome =
        SaveAll::saveBaseAndAllFormats(manipulator, SaveAll::Engine::SharedWithPreview, conversionMutex, inputImage, path, saveJobFromWindow(*this));
    scaledUp |= outcome.scaledUp;
    unwrittenOutputs.insert(unwrittenOutputs.end(), outcome.unwritten.begin(), outcome.unwritten.end());
    overBudgetOutputs.insert(overBudgetOutputs.end(), outcome.overBudget.begin(), outcome.overBudget.end());
    writtenOutputs += outcome.written;
}

void ShrinkerController::showSaveSummary(const SaveSummary &summary)
{
    const bool complete = summary.unwritten.empty() && summary.overBudget.empty() && summary.ending == SaveSummary::Ending::Completed;
    const QString folder = summary.folder;
    messageBar->showMessage(summary.text(), complete ? WindowMessage::Kind::Information : WindowMessage::Kind::Warning,
                            QStringLiteral("Open Folder"), [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}

void ShrinkerController::showUnwrittenOutputsIfAny()
{
    const UnwrittenOutputs::Alert alert = UnwrittenOutputs::afterSaveAlert(unwrittenOutputs, overBudgetOutputs);
    if (alert.text.isEmpty())
        return;
    DialogPresenter::current().runAlertPanel({alert.title, alert.text, QStringLiteral("OK"), QString(), QString()});
}

void ShrinkerController::showUpscalingWarningIfNeeded()
{
    if (scaledUp <= 0 || !UserDefaults::standard().boolForKey(PrefKey::warnAboutUpscaling))
        return;
    const bool batch = inputFileArray.has_value();
    if (scaledUp & SaveAll::kFormatUpscaled)
        scaledUpWarningField->setText(
            batch ? QStringLiteral("One or more of the additional formats  has a pixel size which is larger than its input image. "
                                   "Quillpane is (at present) designed for scaling down; upscaled images are likely to be less "
                                   "sharp than the input image")
                  : QStringLiteral("One or more of the additional formats has a pixel size which is larger than the input image. "
                                   "Quillpane is (at present) designed for scaling down; upscaled images are likely to be less "
                                   "sharp than the input image"));
    if (scaledUp & SaveAll::kBaseUpscaled)
        scaledUpWarningField->setText(
            batch ? QStringLiteral("The output size is larger than one or more of the input images. Quillpane is (at present) "
                                   "designed for scaling down; upscaled images are likely to be less sharp than the input image")
                  : QStringLiteral("The output size is larger than the input image. Quillpane is (at present) designed for "
                                   "scaling down; upscaled images are likely to be less sharp than the input image"));
    scaledUpWarningWindow->open();
}

void ShrinkerController::closeScaledUpSheet()
{
    scaledUpWarningWindow->done(1);
}
