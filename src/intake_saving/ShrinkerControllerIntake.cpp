// Every road by which pictures arrive. Stepping through a batch list is the dispatcher's
// (ShrinkerControllerSize.cpp).

#include "ShrinkerController.h"

#include "Log.h"
#include "NotificationCenter.h"
#include "Preferences.h"
#include "QP_ImageView.h"
#include "UserDefaults.h"
#include "WindowMessage.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>

namespace {

bool resetSlidersOnArrival()
{
    return UserDefaults::standard().integerForKey(PrefKey::resetSliders) > 0;
}

} // namespace

void ShrinkerController::browse()
{
    FilePanel panel;
    panel.title = QStringLiteral("Choose a Picture or Selection of Pictures");
    panel.prompt = QStringLiteral("Choose");
    panel.canChooseFiles = true;
    panel.canChooseDirectories = true;
    panel.resolvesAliases = true;
    panel.allowsMultipleSelection = true;
    panel.canCreateDirectories = true;
    panel.allowedFileTypes = PictureArrival::openPanelTypes();
    uiWindow->show();
    uiWindow->raise();
    uiWindow->activateWindow();
    openPanelDidEndReturnCodeContextInfo(DialogPresenter::current().runOpenPanel(panel));
}

void ShrinkerController::openPanelDidEndReturnCodeContextInfo(const FilePanelResult &panel)
{
    if (panel.returnCode != 1)
        return;
    QStringList paths;
    for (const QUrl &url : panel.urls) {
        if (!url.isLocalFile()) {
            qpLog(QStringLiteral("either problem with url %1 or it is not a file:// url").arg(url.toString()));
            continue;
        }
        const QString path = url.toLocalFile();
        if (path.isEmpty()) {
            qpLog(QStringLiteral("Unable to make string path from url %1").arg(url.toString()));
            continue;
        }
        paths << path;
    }
    // A folder is read as the pictures in it, as when it is dropped or given to the program.
    if (paths.size() == 1 && !QFileInfo(paths.first()).isDir()) {
        QString why;
        if (auto picture = Picture::readFile(paths.first(), &why))
            singleImageProvided(std::move(picture));
        else
            reportUnreadable({{paths.first(), why}});
    } else if (!paths.isEmpty()) {
        multipleImagesProvided(paths);
    }
}

void ShrinkerController::reportUnreadable(const std::vector<PictureArrival::Unreadable> &files)
{
    if (!files.empty())
        messageBar->showMessage(PictureArrival::unreadableText(files), WindowMessage::Kind::Warning);
}

void ShrinkerController::fromClip()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    if (!data)
        return;
    // Copied files count one picture each; otherwise the clipboard's own image.
    std::vector<std::shared_ptr<const Picture>> pictures;
    if (data->hasUrls()) {
        for (const QUrl &url : data->urls())
            if (url.isLocalFile())
                if (auto picture = Picture::readFile(url.toLocalFile()))
                    pictures.push_back(std::move(picture));
    } else if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull())
            if (auto picture = Picture::fromQImage(image))
                pictures.push_back(std::move(picture));
    }
    if (pictures.size() == 1)
        singleImageProvided(pictures.front());
}

void ShrinkerController::imagesDropped(const QVariantMap &userInfo)
{
    if (!userInfo.contains(Notification::imageFileNames))
        return;
    // After the drop has been concluded, not inside it.
    QMetaObject::invokeMethod(
        this, [this, userInfo] { multipleImagesProvided(userInfo.value(Notification::imageFileNames).toStringList()); },
        Qt::QueuedConnection);
}

void ShrinkerController::imagePasted(QObject *sender)
{
    fromClip();
    if (sender != imageWell || sender == nullptr)
        return;
    if (refuseWhileBatchRuns("a pasted picture"))
        return;
    const QPixmap shown = imageWell->image();
    auto picture = shown.isNull() ? nullptr : Picture::fromQImage(shown.toImage());
    if (!picture)
        return;
    if (resetSlidersOnArrival())
        setAdjustmentDefaults();
    inputImage = std::move(picture);
    calculateRatio();
    applyAspectRatio(this);
    updateOutputImage();
    inputFileCount->setText(QString());
    updateSaveCommand();
}

bool ShrinkerController::applicationOpenFile(const QString &path)
{
    if (QFileInfo(path).isDir()) {
        const std::shared_ptr<const Picture> before = inputImage;
        multipleImagesProvided({path});
        return inputImage != before;
    }
    QString why;
    auto picture = Picture::readFile(path, &why);
    if (!picture) {
        qpLog(QStringLiteral("unable to open %1").arg(path));
        reportUnreadable({{path, why}});
        return false;
    }
    if (batchIsRunning()) {
        refuseWhileBatchRuns("an opened file");
        return false;
    }
    singleImageProvided(std::move(picture));
    return true;
}

void ShrinkerController::applicationOpenFiles(const QStringList &paths)
{
    multipleImagesProvided(paths);
}

void ShrinkerController::singleImageProvided(std::shared_ptr<const Picture> image)
{
    if (!image || refuseWhileBatchRuns("a new picture"))
        return;
    if (resetSlidersOnArrival())
        setAdjustmentDefaults();
    inputImage = std::move(image);
    calculateRatio();
    applyAspectRatio(this);
    updateOutputImage();
    inputFileCount->setText(QString());
    nextImage->hide();
    previousImage->hide();
    inputFileArray.reset();
    updateSaveCommand();
}

void ShrinkerController::multipleImagesProvided(const QStringList &given)
{
    if (given.isEmpty() || refuseWhileBatchRuns("a new list of pictures"))
        return;
    // Folders become their pictures, and what cannot be read is named once and left out of
    // the list and its count.
    const PictureArrival::Sorted arrival = PictureArrival::sortArrival(given);
    reportUnreadable(arrival.unreadable);
    const QStringList &paths = arrival.pictures;
    if (paths.isEmpty())
        return;
    inputFileArray = paths;
    auto first = Picture::referenceFile(paths.first());
    if (!first)
        return;
    if (paths.size() == 1) {
        singleImageProvided(std::move(first));
        return;
    }
    if (resetSlidersOnArrival())
        setAdjustmentDefaults();
    cursor = 0;
    inputImage = std::move(first);
    calculateRatio();
    applyAspectRatio(this);
    updateOutputImage();
    inputFileCount->setText(QStringLiteral("showing the first of %1 images").arg(paths.size()));
    nextImage->show();
    previousImage->show();
    previousImage->setEnabled(false);
    nextImage->setEnabled(true);
    updateSaveCommand();
}
