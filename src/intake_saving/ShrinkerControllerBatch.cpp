// The batch save: every picture of the batch list, with all its formats, into one folder,
// on background threads.
//
// The batch writes every picture with the settings in force when Save was pressed: the
// window's settings and the preferences are read once, on the main thread, into a
// snapshot, and each picture's settings are a pure function of the snapshot and the
// picture (with the proportion lock on, the size follows the picture's proportions as the
// window's fitting does). Controls changed while the batch runs reach the preview, never
// the batch. No batch thread touches a widget or the preferences.
//
// Pictures are read and converted a few at a time, each by a worker with its own engine,
// while the batch thread writes them in the batch's order: for each picture it asks the
// main thread, and waits, to show the picture (and, with the lock on, the size it is
// written at) and the progress; only then does it look at what stands in the folder and
// put the picture's outputs in place. So a "File Exists" stop, or Cancel, writes nothing
// past the picture it came before, and what was converted ahead is thrown away. A preview
// rendered meanwhile does not wait for the batch's conversions: conversionMutex is held
// only while a temp preview file is written and copied. The batch thread waits for the
// main thread only while holding no lock, so a slider moved mid-batch cannot deadlock it.
//
// A base output that exists already stops the batch (the File Exists alert), and so does
// a format's output that is one of the batch's own pictures. When the batch has ended the
// window says how many files it wrote where, and outputs that could not be written are
// listed there and in one alert.
//
// Work for the main thread goes through a queue guarded by our own mutex, drained by a
// timer of the main thread, rather than through Qt's posted events: the hand-over is then
// visible to ThreadSanitizer, which does not see inside the uninstrumented Qt libraries.

#include "ShrinkerController.h"

#include "AllocatorTuning.h"
#include "Controls.h"
#include "Log.h"
#include "OrderedWork.h"
#include "Parallel.h"
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

namespace {

// Pictures converted at once. Each holds its decoded pixels until it is written, so a
// machine with many cores still converts only a few large photos at a time.
constexpr int kMostWorkers = 4;

int batchWorkers()
{
    return std::clamp(hardwareThreads(), 1, kMostWorkers);
}

} // namespace

struct ShrinkerController::BatchRunner {
    std::vector<std::unique_ptr<PhotoManipulator>> engines; // one per worker, kept from batch to batch
    std::thread thread;
    bool running = false; // main thread only
    QTimer timer;         // drains the main thread's queue while a batch runs

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> mainQueue;
    bool cancelled = false;       // the window is going away
    bool cancelRequested = false; // the person pressed Cancel
    std::function<void()> stopWork; // stops the conversions running ahead; set while they run
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

    bool isCancelRequested()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return cancelRequested;
    }

    // Ends the batch before its next picture: for the person's Cancel, or for good.
    void cancel(bool forGood)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        (forGood ? cancelled : cancelRequested) = true;
        if (stopWork)
            stopWork();
        changed.notify_all();
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
    runner->cancel(true);
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

// A picture of the batch, converted and waiting to be written.
struct ConvertedPicture {
    std::shared_ptr<const Picture> picture; // none: it could not be read
    QString whyUnreadable;
    QString output; // the base output's path
    QSizeF size;    // the size it is written at
    SaveAll::MadeOutputs made;
    QByteArray preview;
};

ConvertedPicture convertPicture(PhotoManipulator &engine, std::mutex &conversionMutex, const BatchSnapshot &snapshot,
                                const QString &source, const QString &folder, const std::atomic<bool> &stop)
{
    ConvertedPicture converted;
    converted.output = QDir(folder).filePath(SavingRules::batchOutputName(source, snapshot.save.fileFormat));
    // By reference: the engine decodes only as much of each picture as its outputs need.
    converted.picture = Picture::referenceFile(source, &converted.whyUnreadable);
    if (!converted.picture)
        return converted;
    const PictureStep step = pictureStep(snapshot, *converted.picture);
    converted.size = step.size;
    converted.made = SaveAll::makeBaseAndAllFormats(engine, SaveAll::Engine::Private, conversionMutex, converted.picture,
                                                    converted.output, step.save, &stop);
    // Without the high-density override the base output is exactly the preview.
    if (snapshot.retina)
        converted.preview = engine.encodedOutputForNSImageWithSettings(converted.picture, step.previewSettings, step.save.outputOptions()).bytes;
    else if (!converted.made.outputs.empty())
        converted.preview = converted.made.outputs.front().bytes;
    // The window holds the picture to show it until the next one; its pixels, the bulk of a
    // batch's memory, are not needed for that.
    converted.picture->releaseKeptPixels();
    return converted;
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

QString positionText(int index, int count)
{
    return QStringLiteral("showing image %1 of %2 images").arg(index + 1).arg(count);
}

// The bar fills with the pictures done and names the one being made.
void showProgress(QProgressBar *bar, int done, int count)
{
    bar->setFormat(QStringLiteral("picture %1 of %2").arg(std::min(done + 1, count)).arg(count));
    bar->setValue(done);
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
    // The batch's drain timer wakes this loop while the batch runs.
    while (batchIsRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void ShrinkerController::cancelBatch()
{
    if (!batchIsRunning())
        return;
    qpLog(QStringLiteral("The batch is cancelled; it stops before its next picture"));
    cancelBatchButton->setEnabled(false);
    batchRunner_->cancel(false);
}

bool ShrinkerController::saveMultipleFilesTo(const QString &folder)
{
    if (refuseWhileBatchRuns("a second batch"))
        return false;
    if (!inputFileArray)
        return false;
    if (!batchRunner_) {
        batchRunner_.reset(new BatchRunner);
        for (int worker = 0; worker < batchWorkers(); ++worker) {
            auto engine = std::make_unique<PhotoManipulator>();
            engine->awakeFromNib();
            // The workers share the cores between them.
            engine->setThreadCount(std::max(1, hardwareThreads() / batchWorkers()));
            // Each picture is dropped once its outputs are made; keeping its levels would
            // only hold memory.
            engine->setCachesLevels(false);
            batchRunner_->engines.push_back(std::move(engine));
        }
        batchRunner_->timer.setInterval(5);
        connect(&batchRunner_->timer, &QTimer::timeout, this, [this] { batchRunner_->drain(); });
    }
    BatchRunner &runner = *batchRunner_;
    if (runner.thread.joinable()) // the previous pass has posted its last work already
        runner.thread.join();
    runner.running = true;
    runner.cancelRequested = false;
    runner.timer.start();

    // The batch writes this list as it is now, whatever arrives meanwhile, with the settings
    // as they are now.
    const QStringList list = *inputFileArray;
    const BatchSnapshot snapshot = batchSnapshotFromWindow(*this);
    const int count = int(list.size());
    progressIndicator->show();
    cancelBatchButton->setEnabled(true);
    cancelBatchButton->show();
    progressIndicator->reset();
    progressIndicator->setRange(0, count);
    showProgress(progressIndicator, 0, count);
    runner.thread = std::thread([this, &runner, list, folder, snapshot, count] {
        // Finished pictures hold only their encoded outputs, so workers may run well ahead of
        // the writing: a large photo then does not leave the other workers idle behind it.
        const int workers = int(runner.engines.size());
        OrderedWork<ConvertedPicture> work(count, workers, 3 * workers,
                                           [&](int index, int worker, const std::atomic<bool> &stop) {
                                               return convertPicture(*runner.engines[size_t(worker)], conversionMutex, snapshot,
                                                                     list.at(index), folder, stop);
                                           });
        {
            const std::lock_guard<std::mutex> lock(runner.mutex);
            runner.stopWork = [&work] { work.stop(); };
            if (runner.cancelled || runner.cancelRequested)
                work.stop();
        }
        int32_t flags = 0;
        int written = 0;
        std::vector<UnwrittenOutput> unwritten, overBudget;
        SaveSummary::Ending ending = SaveSummary::Ending::Completed;
        int endedAt = 0;
        QString whyStopped;
        for (int i = 0; i < count; ++i) {
            std::optional<ConvertedPicture> converted = work.take(i);
            if (runner.isCancelled())
                break;
            if (!converted || runner.isCancelRequested()) {
                ending = SaveSummary::Ending::Cancelled;
                endedAt = i;
                break;
            }
            const QString &source = list.at(i);
            if (!converted->picture) { // unreadable since it arrived; the batch goes on
                unwritten.push_back({converted->output, QStringLiteral("was not made: %1 could not be read (%2)")
                                                            .arg(QFileInfo(source).fileName(), converted->whyUnreadable)});
                runner.post([this, i, count] { showProgress(progressIndicator, i + 1, count); });
                continue;
            }
            const bool shown = runner.runOnMain(std::function<bool()>(
                [this, picture = converted->picture, lock = snapshot.sizeRule.proportionLock, width = snapshot.widthText,
                 height = qint64(converted->size.height())] {
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
                break; // the window is going away
            if (runner.isCancelRequested()) {
                ending = SaveSummary::Ending::Cancelled;
                endedAt = i;
                break;
            }
            // A batch folder removed while the batch runs was removed by the person (or on
            // their behalf): making it again would put files where they no longer want
            // them, and going on would only fail picture after picture. The batch stops.
            if (!QFileInfo(folder).isDir()) {
                qpLog(QStringLiteral("The batch folder %1 is no longer there; the batch stops before %2").arg(folder, source));
                runner.post([this, i, count] { inputFileCount->setText(positionText(i, count)); });
                ending = SaveSummary::Ending::Stopped;
                endedAt = i;
                whyStopped = QStringLiteral("the folder is no longer there");
                break;
            }
            const QString name = stoppingOutput(converted->output, source, list, snapshot.save.formats);
            if (name.isEmpty()) {
                SaveAll::SaveOutcome outcome = SaveAll::writeMadeOutputs(converted->made, snapshot.save.fileFormat, conversionMutex);
                flags |= outcome.scaledUp;
                written += outcome.written;
                unwritten.insert(unwritten.end(), outcome.unwritten.begin(), outcome.unwritten.end());
                overBudget.insert(overBudget.end(), outcome.overBudget.begin(), outcome.overBudget.end());
            }
            // The last picture the window may stay on is read whole, for the 100 % view.
            const bool readWhole = !name.isEmpty() || i + 1 == count;
            runner.post([this, preview = converted->preview, displaySize = converted->size, i, count, readWhole] {
                if (!preview.isEmpty()) {
                    // A picture shown only in passing, fitted, is read at the size it is shown.
                    QSize atMost;
                    if (!readWhole && imageWell->zoom() == QP_ImageView::Zoom::Fit)
                        atMost = (displaySize.scaled(imageWell->contentsRect().size(), Qt::KeepAspectRatio).boundedTo(displaySize)
                                  * imageWell->devicePixelRatioF()).toSize();
                    QPixmap pixmap = QPixmap::fromImage(previewImageFromBytes(preview, atMost));
                    if (displaySize.width() >= 1.0 && !pixmap.isNull())
                        pixmap.setDevicePixelRatio(double(pixmap.width()) / displaySize.width());
                    if (!pixmap.isNull())
                        imageWell->setImage(pixmap);
                    tfFileSize->setText(fileSizeText(preview.size()));
                }
                inputFileCount->setText(positionText(i, count));
                showProgress(progressIndicator, i + 1, count);
            });
            if (!name.isEmpty()) {
                runner.post([name] {
                    DialogPresenter::current().runAlertPanel(
                        {QStringLiteral("File Exists"),
                         QStringLiteral("%1 exists already at the location you've chosen. You may have accidentally chosen the "
                                        "source folder as the destination. To avoid this problem when saving multiple files in the "
                                        "same directory as the source, you could go to Preferences and choose 'Make a folder with a "
                                        "unique name within chosen folder'.")
                             .arg(name),
                         QStringLiteral("Cancel"), QString(), QString()});
                });
                ending = SaveSummary::Ending::Stopped;
                endedAt = i;
                whyStopped = name + QStringLiteral(" exists already");
                break;
            }
        }
        {
            const std::lock_guard<std::mutex> lock(runner.mutex);
            runner.stopWork = nullptr;
        }
        work.stop();
        if (runner.isCancelled())
            return;
        // Back on the first picture, unless a stop leaves the window on the picture that
        // stopped the batch.
        if (ending != SaveSummary::Ending::Stopped && count >= 2) {
            runner.post([this, first = list.first(), count] {
                cursor = 0;
                previousImage->setEnabled(false);
                nextImage->setEnabled(true);
                previousImage->show();
                nextImage->show();
                // By reference: the preview decodes only what it shows, and quitting
                // right after the batch has no whole photo to wait for.
                if (auto picture = Picture::referenceFile(first)) {
                    inputImage = std::move(picture);
                    calculateRatio();
                    applyAspectRatio(this);
                    inputFileCount->setText(QStringLiteral("showing the first of %1 images").arg(count));
                    updateOutputImage();
                }
            });
        }
        SaveSummary summary{written, folder, ending, endedAt + 1, count, whyStopped, unwritten, overBudget};
        runner.post([this, &runner, flags, summary] {
            progressIndicator->hide();
            cancelBatchButton->hide();
            scaledUp |= flags;
            unwrittenOutputs.insert(unwrittenOutputs.end(), summary.unwritten.begin(), summary.unwritten.end());
            overBudgetOutputs.insert(overBudgetOutputs.end(), summary.overBudget.begin(), summary.overBudget.end());
            writtenOutputs += summary.written;
            runner.running = false;
            runner.timer.stop();
            giveBackFreedPictureMemory();
            showSaveSummary(summary);
            showUnwrittenOutputsIfAny();
            if (summary.ending == SaveSummary::Ending::Completed)
                showUpscalingWarningIfNeeded();
        });
    });
    return true;
}
