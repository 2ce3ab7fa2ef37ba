// The batch save: every picture of the batch list, with all its formats, into one folder,
// on a background thread.
//
// The batch writes every picture with the settings in force when Save was pressed: the
// window's settings and the preferences are read once, on the main thread, into a
// snapshot, and each picture's settings are a pure function of the snapshot and the
// picture (with the proportion lock on, the size follows the picture's proportions as the
// window's fitting does). Controls changed while the batch runs reach the preview, never
// the batch. The thread never touches a widget or the preferences: for each picture it
// asks the main thread, and waits, to show the picture (and, with the lock on, the size
// it is written at); it then converts and writes on its own, with its own engine, so a
// preview rendered meanwhile does not wait for the batch's conversions: conversionMutex is
// held only while a temp preview file is written and copied. The thread waits for the
// main thread only while holding no lock, so a slider moved mid-batch cannot deadlock it.
//
// A base output that exists already stops the batch (the File Exists alert), and so does
// a format's output that is one of the batch's own pictures. Outputs that could not be
// written are listed in one alert once the batch has ended.
//
// Work for the main thread goes through a queue guarded by our own mutex, drained by a
// timer of the main thread, rather than through Qt's posted events: the hand-over is then
// visible to ThreadSanitizer, which does not see inside the uninstrumented Qt libraries.

#include "ShrinkerController.h"

#include "Controls.h"
#include "Log.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "QP_ImageView.h"
#include "SaveAll.h"
#include "SavingJob.h"
#include "SafeFileCopy.h"
#include "SavingRules.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

struct ShrinkerController::BatchRunner {
    PhotoManipulator engine; // the batch thread's own
    std::thread thread;
    bool running = false; // main thread only
    QTimer timer;         // drains the main thread's queue while a batch runs

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> mainQueue;
    bool cancelled = false;
    bool draining = false; // main thread only

    // Main-thread work without waiting.
    void post(std::function<void()> work)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        mainQueue.push_back(std::move(work));
    }

    // Main-thread work, waiting for its result; none when the window is going away.
    template <typename Result> std::optional<Result> runOnMain(std::function<Result()> work)
    {
        auto result = std::make_shared<std::optional<Result>>();
        auto done = std::make_shared<bool>(false);
        post([this, work = std::move(work), result, done] {
            Result value = work();
            const std::lock_guard<std::mutex> lock(mutex);
            *result = std::move(value);
            *done = true;
            changed.notify_all();
        });
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return *done || cancelled; });
        if (!*done)
            return std::nullopt;
        return std::move(*result);
    }

    bool isCancelled()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return cancelled;
    }

    // Main thread: runs what the batch thread has posted, in order.
    void drain()
    {
        if (draining) // an alert's own event loop runs the timer again
            return;
        draining = true;
        for (;;) {
            std::function<void()> work;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (mainQueue.empty())
                    break;
                work = std::move(mainQueue.front());
                mainQueue.pop_front();
            }
            work();
        }
        draining = false;
    }
};

void ShrinkerController::BatchRunnerDeleter::operator()(BatchRunner *runner) const
{
    {
        const std::lock_guard<std::mutex> lock(runner->mutex);
        runner->cancelled = true;
        runner->changed.notify_all();
    }
    if (runner->thread.joinable())
        runner->thread.join();
    delete runner;
}

namespace {

// Everything a batch reads from the window and the preferences, read when Save is pressed.
struct BatchSnapshot {
    SaveAll::SaveJob save;
    QVariantMap previewSettings; // with the high-density override applied
    bool retina = false;
    SavingRules::BaseSizeRule sizeRule; // how each picture's base output is sized
    QString widthText; // the width field's text, shown again with each picture
};

BatchSnapshot batchSnapshotFromWindow(const ShrinkerController &controller)
{
    BatchSnapshot snapshot;
    snapshot.save = saveJobFromWindow(controller);
    snapshot.save.baseReplacing = Replacing::Never;
    snapshot.previewSettings = controller.previewSettings();
    snapshot.retina = UserDefaults::standard().boolForKey(PrefKey::retinaDisplay);
    if (snapshot.retina) {
        snapshot.previewSettings.insert(QStringLiteral("xratio"), 2.0f);
        snapshot.previewSettings.insert(QStringLiteral("yratio"), 2.0f);
        snapshot.previewSettings.insert(QStringLiteral("scalemode"), 1);
    }
    // The fields themselves: the base settings hold the current picture's size within them.
    snapshot.sizeRule.fields = QSizeF(plistFloat(controller.sizeFieldW->text()), plistFloat(controller.sizeFieldH->text()));
    snapshot.sizeRule.fitWithin = controller.fitsWithinBox();
    snapshot.sizeRule.proportionLock = controller.constrain->isChecked() && !snapshot.sizeRule.fitWithin;
    snapshot.sizeRule.neverEnlarge = controller.neverEnlargeCheckBox->isChecked();
    // A copy of its own: the batch thread releases it, and a count shared with the field's
    // text, which uninstrumented Qt frees, would look like a race to ThreadSanitizer.
    snapshot.widthText = controller.sizeFieldW->text();
    snapshot.widthText.detach();
    return snapshot;
}

// One picture's settings: the snapshot's, at the size this picture is written at.
struct PictureStep {
    SaveAll::SaveJob save;
    QVariantMap previewSettings;
    QSizeF size;
};

PictureStep pictureStep(const BatchSnapshot &snapshot, const Picture &picture)
{
    PictureStep step{snapshot.save, snapshot.previewSettings,
                     SavingRules::batchOutputSize(snapshot.sizeRule, picture.size(), picture.largestPixelSize())};
    for (QVariantMap *settings : {&step.save.baseSettings, &step.previewSettings}) {
        settings->insert(QStringLiteral("xabs"), float(step.size.width()));
        settings->insert(QStringLiteral("yabs"), float(step.size.height()));
    }
    return step;
}

// The name of the output of this picture that stops the batch, if one does: its base
// output when anything stands at that name, or a format's output that is one of the
// batch's pictures (other existing format outputs are replaced).
QString stoppingOutput(const QString &output, const QString &source, const QStringList &batch, const QVariantList &formats)
{
    const QFileInfo base(output);
    if (output == source || base.exists() || base.isSymLink())
        return base.fileName();
    for (const QString &path : SaveAll::formatPaths(output, formats)) {
        const QFileInfo format(path);
        if (format.exists() && std::any_of(batch.begin(), batch.end(), [&](const QString &picture) { return writingReplaces(path, picture); }))
            return format.fileName();
    }
    return QString();
}

} // namespace

QString ShrinkerController::getUniqueFolderName()
{
    return QStringLiteral("QuillpanedImages%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

bool ShrinkerController::batchIsRunning() const
{
    return batchRunner_ && batchRunner_->running;
}

void ShrinkerController::waitForBatch()
{
    while (batchIsRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

bool ShrinkerController::saveMultipleFilesTo(const QString &folder)
{
    if (refuseWhileBatchRuns("a second batch"))
        return false;
    if (!inputFileArray)
        return false;
    if (!batchRunner_) {
        batchRunner_.reset(new BatchRunner);
        batchRunner_->engine.awakeFromNib();
        batchRunner_->timer.setInterval(5);
        connect(&batchRunner_->timer, &QTimer::timeout, this, [this] { batchRunner_->drain(); });
    }
    BatchRunner &runner = *batchRunner_;
    if (runner.thread.joinable()) // the previous pass has posted its last work already
        runner.thread.join();
    runner.running = true;
    runner.timer.start();

    // The batch writes this list as it is now, whatever arrives meanwhile, with the settings
    // as they are now.
    const QStringList list = *inputFileArray;
    const BatchSnapshot snapshot = batchSnapshotFromWindow(*this);
    runner.thread = std::thread([this, &runner, list, folder, snapshot] {
        const int count = int(list.size());
        runner.post([this] { progressIndicator->setRange(0, 0); });
        int32_t flags = 0;
        std::vector<UnwrittenOutput> unwritten, overBudget;
        bool stopped = false;
        for (int i = 0; i < count && !runner.isCancelled(); ++i) {
            const QString &source = list.at(i);
            std::shared_ptr<const Picture> picture = Picture::readFile(source);
            if (!picture)
                continue; // unreadable entries are skipped; the batch goes on
            const PictureStep step = pictureStep(snapshot, *picture);
            const bool shown = runner.runOnMain(std::function<bool()>(
                [this, picture, lock = snapshot.sizeRule.proportionLock, width = snapshot.widthText, height = qint64(step.size.height())] {
                inputImage = picture;
                showPictureInTitle();
                if (lock) {
                    calculateRatio();
                    sizeFieldW->setText(width);
                    sizeFieldH->setText(QString::number(height));
                    UserDefaults &defaults = UserDefaults::standard();
                    defaults.setObjectForKey(sizeFieldW->text(), PrefKey::outputWidth);
                    defaults.setObjectForKey(sizeFieldH->text(), PrefKey::outputHeight);
                }
                return true;
            })).has_value();
            if (!shown)
                return; // the window is going away
            // A batch folder removed while the batch runs was removed by the person (or on
            // their behalf): making it again would put files where they no longer want
            // them, and going on would only fail picture after picture. The batch stops.
            if (!QFileInfo(folder).isDir()) {
                qpLog(QStringLiteral("The batch folder %1 is no longer there; the batch stops before %2").arg(folder, source));
                runner.post([this, i, count] {
                    inputFileCount->setText(QStringLiteral("showing image %1 of %2 images").arg(i + 1).arg(count));
                    progressIndicator->setRange(0, 1);
                });
                stopped = true;
                break;
            }
            const QString output = QDir(folder).filePath(SavingRules::batchOutputName(source, step.save.fileFormat));
            const QString name = stoppingOutput(output, source, list, step.save.formats);
            const bool exists = !name.isEmpty();

            // Without the high-density override the base output is exactly the preview,
            // so one conversion serves both.
            QByteArray preview;
            if (snapshot.retina || exists)
                preview = SaveAll::convertOutput(runner.engine, SaveAll::Engine::Private, conversionMutex, picture, step.previewSettings,
                                                 step.save.outputOptions(), QString())
                              .bytes;
            if (!exists) {
                SaveAll::SaveOutcome outcome = SaveAll::saveBaseAndAllFormats(runner.engine, SaveAll::Engine::Private, conversionMutex, picture,
                                                                              output, step.save, snapshot.retina ? nullptr : &preview);
                flags |= outcome.scaledUp;
                unwritten.insert(unwritten.end(), outcome.unwritten.begin(), outcome.unwritten.end());
                overBudget.insert(overBudget.end(), outcome.overBudget.begin(), outcome.overBudget.end());
            }
            const QSizeF displaySize = step.size;
            runner.post([this, preview, displaySize, i, count] {
                if (!preview.isEmpty()) {
                    QPixmap pixmap = QPixmap::fromImage(previewImageFromBytes(preview));
                    if (displaySize.width() >= 1.0 && !pixmap.isNull())
                        pixmap.setDevicePixelRatio(double(pixmap.width()) / displaySize.width());
                    if (!pixmap.isNull())
                        imageWell->setImage(pixmap);
                    tfFileSize->setText(fileSizeText(preview.size()));
                }
                inputFileCount->setText(QStringLiteral("showing image %1 of %2 images").arg(i + 1).arg(count));
            });
            if (exists) {
                runner.post([this, name] {
                    DialogPresenter::current().runAlertPanel(
                        {QStringLiteral("File Exists"),
                         QStringLiteral("%1 exists already at the location you've chosen. You may have accidentally chosen the "
                                        "source folder as the destination. To avoid this problem when saving multiple files in the "
                                        "same directory as the source, you could go to Preferences and choose 'Make a folder with a "
                                        "unique name within chosen folder'.")
                             .arg(name),
                         QStringLiteral("Cancel"), QString(), QString()});
                    progressIndicator->setRange(0, 1);
                });
                stopped = true;
                break;
            }
        }
        if (runner.isCancelled())
            return;
        if (!stopped) {
            if (count >= 2) {
                std::shared_ptr<const Picture> first = Picture::readFile(list.first());
                runner.post([this, first, count] {
                    cursor = 0;
                    previousImage->setEnabled(false);
                    nextImage->setEnabled(true);
                    previousImage->show();
                    nextImage->show();
                    if (first) {
                        inputImage = first;
                        calculateRatio();
                        applyAspectRatio(this);
                        inputFileCount->setText(QStringLiteral("showing the first of %1 images").arg(count));
                        updateOutputImage();
                    }
                });
            }
            runner.post([this] { progressIndicator->setRange(0, 1); });
        }
        runner.post([this, &runner, flags, stopped, unwritten, overBudget] {
            scaledUp |= flags;
            unwrittenOutputs.insert(unwrittenOutputs.end(), unwritten.begin(), unwritten.end());
            overBudgetOutputs.insert(overBudgetOutputs.end(), overBudget.begin(), overBudget.end());
            runner.running = false;
            runner.timer.stop();
            showUnwrittenOutputsIfAny();
            if (!stopped)
                showUpscalingWarningIfNeeded();
        });
    });
    return true;
}
