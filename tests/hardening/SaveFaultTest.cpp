// Saving when the destination fails underneath: a folder turned read-only, a full file
// system, the batch folder removed mid-batch, a folder where an output should go. The
// real window saves with the real codecs; what was written before the fault, and every
// file that was there already, must come out whole.

#include "FaultFolder.h"
#include "WindowFixture.h"

#include "Controls.h"
#include "Log.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// Mounts are made in a namespace of this process alone, entered before any thread starts.
[[maybe_unused]] const bool privateMounts = enterPrivateMountNamespace();

class SaveFaultTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        UserDefaults::standard().setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
    }

    void saveTo(const QString &base)
    {
        presenter.choose({base});
        controller->doit();
    }
    void saveBatchInto(const QString &folder)
    {
        presenter.choose({folder});
        controller->doit();
        controller->waitForBatch();
    }
    // Runs `fault` on the main thread at the moment the batch makes the picture whose
    // height, with the lock on, becomes `height`: every output of the pictures before
    // it is then written, and none of its own.
    void beforeBatchPictureOfHeight(const QString &height, std::function<void()> fault)
    {
        auto fired = std::make_shared<bool>(false);
        QObject::connect(controller->sizeFieldH, &QLineEdit::textChanged, controller.get(),
                         [height, fault = std::move(fault), fired](const QString &text) {
                             if (text == height && !*fired) {
                                 *fired = true;
                                 fault();
                             }
                         });
        faultFired = fired;
    }
    QString tempPreview() const { return AppPaths::supportFolder() + "/tempImage.jpg"; }
    QString copyFailure(const QString &destination) const
    {
        return QStringLiteral("failed to copy image from %1 to %2").arg(tempPreview(), destination);
    }
    // A batch of three pictures of three proportions (heights 100, 225 and 150 at a width
    // of 150 with the lock on), and a reference run of it into a healthy folder.
    void prepareBatch()
    {
        one = writePicture("a/one.png", 300, 200);
        two = writePicture("b/two.png", 200, 300);
        three = writePicture("a/three.png", 400, 400);
        storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}})});
        controller->multipleImagesProvided({one, two, three});
        setLock(true);
        setSize(150, 100);
        controller->handleControl(controller->sizeFieldW);
        QDir().mkpath(path("ref"));
        saveBatchInto(path("ref"));
        ASSERT_EQ(entriesOf(path("ref")).size(), 6);
    }
    QByteArray reference(const QString &name) const { return bytesOf(path("ref/") + name); }
    // The one alert after the save, and the outputs it names with their reasons.
    std::vector<std::pair<QString, QString>> alertedOutputs() const
    {
        EXPECT_EQ(presenter.alerts.size(), 1u);
        if (presenter.alerts.empty())
            return {};
        EXPECT_EQ(presenter.alerts.back().title, "Files Not Saved");
        EXPECT_EQ(presenter.alerts.back().message, UnwrittenOutputs::alertText(controller->unwrittenOutputs));
        std::vector<std::pair<QString, QString>> named;
        for (const UnwrittenOutput &output : controller->unwrittenOutputs)
            named.emplace_back(QFileInfo(output.path).fileName(), output.reason);
        return named;
    }
    static QStringList namesOf(const std::vector<std::pair<QString, QString>> &outputs)
    {
        QStringList names;
        for (const auto &output : outputs)
            names << output.first;
        return names;
    }

    std::shared_ptr<bool> faultFired;
    QString one, two, three;
};

TEST_F(SaveFaultTest, AReadOnlyDestinationKeepsItsFilesAndASaveAfterwardsWorks)
{
    const QString source = writePicture("in/photo.png", 600, 400);
    storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}})});
    adopt(source, 150, 100);
    QDir().mkpath(path("ref"));
    saveTo(path("ref/photo.jpg"));

    FaultFolder dest(path("dest"));
    QString why;
    ASSERT_TRUE(dest.create(4 << 20, &why)) << why.toStdString();
    const QByteArray oldBase = "an older base output";
    const QByteArray oldFormat = "an older 2x output";
    writeBytes(dest.path() + "/photo.jpg", oldBase);
    writeBytes(dest.path() + "/photo@2x.jpg", oldFormat);
    if (!dest.setReadOnly(true, &why))
        GTEST_SKIP() << why.toStdString();

    LogCapture log;
    saveTo(dest.path() + "/photo.jpg");
    EXPECT_EQ(bytesOf(dest.path() + "/photo.jpg"), oldBase);
    EXPECT_EQ(bytesOf(dest.path() + "/photo@2x.jpg"), oldFormat);
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"photo.jpg", "photo@2x.jpg"}));
    EXPECT_TRUE(log.contains(copyFailure(dest.path() + "/photo.jpg")));
    EXPECT_TRUE(log.contains(copyFailure(dest.path() + "/photo@2x.jpg")));
    EXPECT_EQ(namesOf(alertedOutputs()), QStringList({"photo.jpg", "photo@2x.jpg"}));
    presenter.alerts.clear();

    ASSERT_TRUE(dest.setReadOnly(false, &why)) << why.toStdString();
    saveTo(dest.path() + "/photo.jpg");
    EXPECT_EQ(bytesOf(dest.path() + "/photo.jpg"), bytesOf(path("ref/photo.jpg")));
    EXPECT_EQ(bytesOf(dest.path() + "/photo@2x.jpg"), bytesOf(path("ref/photo@2x.jpg")));
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"photo.jpg", "photo@2x.jpg"}));
}

TEST_F(SaveFaultTest, AFullDiskKeepsThePreviousOutputWholeAndLeavesNoTemporaryFile)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    const QString source = writePicture("in/photo.png", 600, 400);
    storeFormats({format("@4x", 1, {{"xratio", "4"}, {"yratio", "4"}})});
    adopt(source, 150, 100);
    QDir().mkpath(path("ref"));
    saveTo(path("ref/photo.jpg"));
    const QByteArray base = bytesOf(path("ref/photo.jpg"));
    const QByteArray large = bytesOf(path("ref/photo@4x.jpg"));

    constexpr qint64 kPage = 4096;
    const qint64 baseRoom = (base.size() + kPage - 1) / kPage * kPage + kPage;
    ASSERT_GT(large.size(), baseRoom) << "the 4x output must not fit where the base output does";
    FaultFolder dest(path("dest"));
    QString why;
    ASSERT_TRUE(dest.create(1 << 20, &why)) << why.toStdString();
    const QByteArray previous = bytesOf(path("ref/photo.jpg")).repeated(3); // an older, different 4x output
    writeBytes(dest.path() + "/photo@4x.jpg", previous);
    // Leaves room for the base output and less than the 4x output needs.
    writeBytes(dest.path() + "/ballast", QByteArray(dest.freeBytes() - baseRoom, '\0'));
    ASSERT_EQ(dest.freeBytes(), baseRoom);

    LogCapture log;
    saveTo(dest.path() + "/photo.jpg");
    EXPECT_EQ(bytesOf(dest.path() + "/photo.jpg"), base);
    EXPECT_EQ(bytesOf(dest.path() + "/photo@4x.jpg"), previous);
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"ballast", "photo.jpg", "photo@4x.jpg"}));
    EXPECT_TRUE(log.contains(copyFailure(dest.path() + "/photo@4x.jpg")));
    using Named = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(alertedOutputs(), Named({{"photo@4x.jpg", "cannot be written: the disk is full"}}));
    EXPECT_FALSE(log.contains(copyFailure(dest.path() + "/photo.jpg")));

    // Once there is room again, the same save writes everything.
    ASSERT_TRUE(QFile::remove(dest.path() + "/ballast"));
    saveTo(dest.path() + "/photo.jpg");
    EXPECT_EQ(bytesOf(dest.path() + "/photo.jpg"), base);
    EXPECT_EQ(bytesOf(dest.path() + "/photo@4x.jpg"), large);
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"photo.jpg", "photo@4x.jpg"}));
}

TEST_F(SaveFaultTest, AFullDiskUnderTheTempPreviewFileNeverReachesTheDestination)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    const QString source = writePicture("in/photo.png", 600, 400);
    adopt(source, 150, 100);
    QDir().mkpath(path("dest"));
    const QByteArray older = "an older output";
    writeBytes(path("dest/photo.jpg"), older);

    // Every output passes through the temp preview file: its folder fills up.
    FaultFolder support(AppPaths::supportFolder());
    QString why;
    ASSERT_TRUE(support.create(256 << 10, &why)) << why.toStdString();
    writeBytes(support.path() + "/ballast", QByteArray(support.freeBytes(), '\0'));
    ASSERT_EQ(support.freeBytes(), 0);
    LogCapture log;
    saveTo(path("dest/photo.jpg"));
    EXPECT_EQ(bytesOf(path("dest/photo.jpg")), older);
    EXPECT_TRUE(log.contains("Error writing to file: " + tempPreview()));
    EXPECT_TRUE(log.contains(copyFailure(path("dest/photo.jpg"))));
    EXPECT_EQ(entriesOf(support.path()), QStringList({"ballast"}));
    using Named = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(alertedOutputs(), Named({{"photo.jpg", "was not written: its temporary file " + tempPreview() + " cannot be written: the disk is full"}}));

    ASSERT_TRUE(QFile::remove(support.path() + "/ballast"));
    saveTo(path("dest/photo.jpg"));
    EXPECT_EQ(pixelSize(path("dest/photo.jpg")), QSize(150, 100));
}

TEST_F(SaveFaultTest, AFolderNamedLikeAnOutputIsLeftAloneAndTheOtherOutputsAreWritten)
{
    const QString source = writePicture("in/photo.png", 600, 400);
    storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}}), format("@3x", 1, {{"xratio", "3"}, {"yratio", "3"}})});
    adopt(source, 150, 100);
    QDir().mkpath(path("ref"));
    saveTo(path("ref/photo.jpg"));

    QDir().mkpath(path("dest/photo@2x.jpg"));
    writeBytes(path("dest/photo@2x.jpg/inside.txt"), "kept");
    LogCapture log;
    saveTo(path("dest/photo.jpg"));
    EXPECT_TRUE(QFileInfo(path("dest/photo@2x.jpg")).isDir());
    EXPECT_EQ(entriesOf(path("dest/photo@2x.jpg")), QStringList({"inside.txt"}));
    EXPECT_EQ(bytesOf(path("dest/photo@2x.jpg/inside.txt")), "kept");
    EXPECT_EQ(bytesOf(path("dest/photo.jpg")), bytesOf(path("ref/photo.jpg")));
    EXPECT_EQ(bytesOf(path("dest/photo@3x.jpg")), bytesOf(path("ref/photo@3x.jpg")));
    EXPECT_EQ(entriesOf(path("dest")), QStringList({"photo.jpg", "photo@2x.jpg", "photo@3x.jpg"}));
    EXPECT_TRUE(log.contains(copyFailure(path("dest/photo@2x.jpg"))));
    EXPECT_TRUE(log.contains(path("dest/photo@2x.jpg") + " is a folder"));
    using Named = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(alertedOutputs(), Named({{"photo@2x.jpg", "is a folder"}}));
}

// The batch: the fault strikes on the batch's own thread, between two pictures.
using BatchFaultTest = SaveFaultTest;

TEST_F(BatchFaultTest, ADestinationTurnedReadOnlyMidBatchKeepsTheFirstOutputsAndTheBatchRunsToItsEnd)
{
    prepareBatch();
    FaultFolder dest(path("dest"));
    QString why;
    ASSERT_TRUE(dest.create(8 << 20, &why)) << why.toStdString();
    const QByteArray older = "an older 2x output of three";
    writeBytes(dest.path() + "/three@2x.jpg", older);
    std::string faultError;
    beforeBatchPictureOfHeight("225", [&] {
        QString error;
        if (!dest.setReadOnly(true, &error))
            faultError = error.toStdString();
    });

    LogCapture log;
    saveBatchInto(dest.path());
    if (!faultError.empty())
        GTEST_SKIP() << faultError;
    ASSERT_TRUE(*faultFired);
    EXPECT_EQ(bytesOf(dest.path() + "/one.jpg"), reference("one.jpg"));
    EXPECT_EQ(bytesOf(dest.path() + "/one@2x.jpg"), reference("one@2x.jpg"));
    EXPECT_EQ(bytesOf(dest.path() + "/three@2x.jpg"), older);
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"one.jpg", "one@2x.jpg", "three@2x.jpg"}));
    for (const char *name : {"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"})
        EXPECT_TRUE(log.contains(copyFailure(dest.path() + "/" + name))) << name;
    // A failed write does not stop a batch: it ends as a completed one, and names them.
    EXPECT_EQ(namesOf(alertedOutputs()), QStringList({"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
    EXPECT_TRUE(controller->progressIndicator->isHidden());
    EXPECT_FALSE(controller->batchIsRunning());

    ASSERT_TRUE(dest.setReadOnly(false, &why)) << why.toStdString();
    QDir().mkpath(dest.path() + "/again");
    saveBatchInto(dest.path() + "/again");
    for (const QString &name : entriesOf(path("ref")))
        EXPECT_EQ(bytesOf(dest.path() + "/again/" + name), reference(name)) << name.toStdString();
    EXPECT_EQ(entriesOf(dest.path() + "/again"), entriesOf(path("ref")));
}

TEST_F(BatchFaultTest, AFullDiskMidBatchKeepsWhatWasWrittenAndEveryOlderFile)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    prepareBatch();
    FaultFolder dest(path("dest"));
    QString why;
    ASSERT_TRUE(dest.create(2 << 20, &why)) << why.toStdString();
    const QByteArray older = reference("one.jpg").repeated(2);
    writeBytes(dest.path() + "/two@2x.jpg", older);
    beforeBatchPictureOfHeight("225", [&] { writeBytes(dest.path() + "/ballast", QByteArray(dest.freeBytes(), '\0')); });

    LogCapture log;
    saveBatchInto(dest.path());
    ASSERT_TRUE(*faultFired);
    ASSERT_EQ(dest.freeBytes(), 0);
    EXPECT_EQ(bytesOf(dest.path() + "/one.jpg"), reference("one.jpg"));
    EXPECT_EQ(bytesOf(dest.path() + "/one@2x.jpg"), reference("one@2x.jpg"));
    EXPECT_EQ(bytesOf(dest.path() + "/two@2x.jpg"), older);
    EXPECT_EQ(entriesOf(dest.path()), QStringList({"ballast", "one.jpg", "one@2x.jpg", "two@2x.jpg"}));
    for (const char *name : {"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"})
        EXPECT_TRUE(log.contains(copyFailure(dest.path() + "/" + name))) << name;
    for (const auto &[name, reason] : alertedOutputs())
        EXPECT_EQ(reason, "cannot be written: the disk is full") << name.toStdString();
    EXPECT_EQ(namesOf(alertedOutputs()), QStringList({"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
    EXPECT_FALSE(controller->batchIsRunning());
}

TEST_F(BatchFaultTest, ABatchFolderRemovedMidBatchStopsTheBatchAndIsNotMadeAgain)
{
    prepareBatch();
    const QString dest = path("dest");
    QDir().mkpath(dest);
    beforeBatchPictureOfHeight("225", [&] { QDir(dest).removeRecursively(); });

    LogCapture log;
    saveBatchInto(dest);
    ASSERT_TRUE(*faultFired);
    EXPECT_FALSE(QFileInfo::exists(dest));
    EXPECT_TRUE(log.contains(QStringLiteral("The batch folder %1 is no longer there; the batch stops before %2").arg(dest, two)));
    // No write was even tried for the pictures after the removal.
    for (const QString &line : log.messages())
        EXPECT_FALSE(line.startsWith("failed to copy image")) << line.toStdString();
    // Stopped as at an existing output, but without the alert: the person did this.
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_EQ(controller->inputFileCount->text(), "showing image 2 of 3 images");
    EXPECT_EQ(controller->inputImage->largestPixelSize(), QSize(200, 300));
    EXPECT_TRUE(controller->progressIndicator->isHidden());
    EXPECT_FALSE(controller->batchIsRunning());

    // The window goes on working: a new folder takes the whole batch.
    QDir().mkpath(path("later"));
    saveBatchInto(path("later"));
    EXPECT_EQ(entriesOf(path("later")), entriesOf(path("ref")));
    for (const QString &name : entriesOf(path("ref")))
        EXPECT_EQ(bytesOf(path("later/") + name), reference(name)) << name.toStdString();
}

TEST_F(BatchFaultTest, AFolderNamedLikeAFormatOutputIsSkippedAndTheBatchGoesOn)
{
    prepareBatch();
    QDir().mkpath(path("dest/two@2x.jpg"));
    LogCapture log;
    saveBatchInto(path("dest"));
    EXPECT_TRUE(QFileInfo(path("dest/two@2x.jpg")).isDir());
    EXPECT_TRUE(entriesOf(path("dest/two@2x.jpg")).isEmpty());
    EXPECT_TRUE(log.contains(copyFailure(path("dest/two@2x.jpg"))));
    for (const QString &name : entriesOf(path("ref"))) {
        if (name != "two@2x.jpg") {
            EXPECT_EQ(bytesOf(path("dest/") + name), reference(name)) << name.toStdString();
        }
    }
    EXPECT_EQ(entriesOf(path("dest")), entriesOf(path("ref")));
    using Named = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(alertedOutputs(), Named({{"two@2x.jpg", "is a folder"}}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
}

} // namespace
