// The Save command for one picture, the save-all operation, and the alerts after a save:
// the outputs that could not be written, and the upscaling warning.

#include "ShrinkerController.h"

#include "Log.h"
#include "OutputFileType.h"
#include "Preferences.h"
#include "SaveAll.h"
#include "SavingJob.h"
#include "SavingRules.h"
#include "UserDefaults.h"
#include "WindowMessage.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
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
    writtenOutputs = 0;
    UserDefaults &defaults = UserDefaults::standard();
    if (inputFileArray) {
        FilePanel panel;
        panel.title = QStringLiteral("Choose location for the batch of resized images");
        panel.prompt = QStringLiteral("Save");
        panel.canCreateDirectories = true;
        panel.canChooseDirectories = true;
        panel.canChooseFiles = false;
        const FilePanelResult chosen = DialogPresenter::current().runOpenPanel(panel);
        if (chosen.returnCode != 1 || chosen.urls.isEmpty() || chosen.urls.first().toLocalFile().isEmpty())
            return;
        QString folder = chosen.urls.first().toLocalFile();
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
    saveBaseAndAllFormatsWithBaseSaveLocation(path);
    SaveSummary summary;
    summary.written = writtenOutputs;
    summary.folder = QFileInfo(path).absolutePath();
    summary.unwritten = unwrittenOutputs;
    showSaveSummary(summary);
}

void ShrinkerController::saveBaseAndAllFormatsWithBaseSaveLocation(const QString &path)
{
    if (path.isEmpty())
        return;
    SaveAll::SaveOutcome outcome =
        SaveAll::saveBaseAndAllFormats(manipulator, SaveAll::Engine::SharedWithPreview, conversionMutex, inputImage, path, saveJobFromWindow(*this));
    scaledUp |= outcome.scaledUp;
    unwrittenOutputs.insert(unwrittenOutputs.end(), outcome.unwritten.begin(), outcome.unwritten.end());
    writtenOutputs += outcome.written;
}

void ShrinkerController::showSaveSummary(const SaveSummary &summary)
{
    const bool complete = summary.unwritten.empty() && summary.ending == SaveSummary::Ending::Completed;
    const QString folder = summary.folder;
    messageBar->showMessage(summary.text(), complete ? WindowMessage::Kind::Information : WindowMessage::Kind::Warning,
                            QStringLiteral("Open Folder"), [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}

void ShrinkerController::showUnwrittenOutputsIfAny()
{
    if (unwrittenOutputs.empty())
        return;
    DialogPresenter::current().runAlertPanel(
        {UnwrittenOutputs::alertTitle(), UnwrittenOutputs::alertText(unwrittenOutputs), QStringLiteral("OK"), QString(), QString()});
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
