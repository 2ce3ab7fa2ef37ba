// Saving when the destination fails underneath: a folder turned read-only, a full file system, the batch folder
// removed mid-batch, a folder where an output should go. What was written before the fault, and every file that was
// there already, must come out whole.

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

using Files = std::map<QString, QByteArray>;
const char *const diskFull = "cannot be written: the disk is full";

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
        controller->waitForBatch();
    }
    // One picture at 150 x 100 with formats of the given ratios, saved once into a healthy folder "ref".
    void prepareOne(std::initializer_list<int> ratios)
    {
        QVariantList formats;
        for (const int ratio : ratios)
            formats << format(QStringLiteral("@%1x").arg(ratio), 1, {{"xratio", QString::number(ratio)}, {"yratio", QString::number(ratio)}});
        if (!formats.isEmpty())
            storeFormats(formats);
        adopt(writePicture("in/photo.png", 600, 400), 150, 100);
        QDir().mkpath(path("ref"));
        saveTo(path("ref/photo.jpg"));
    }
    // Three pictures whose heights at a width of 150 are 100, 225 and 150, with a @2x format, saved into "ref".
    void prepareBatch()
    {
        storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}})});
        controller->multipleImagesProvided({writePicture("a/one.png", 300, 200), writePicture("b/two.png", 200, 300), writePicture("a/three.png", 400, 400)});
        setLock(true);
        setSize(150, 100);
        controller->handleControl(controller->sizeFieldW);
        QDir().mkpath(path("ref"));
        saveTo(path("ref"));
        ASSERT_EQ(entriesOf(path("ref")).size(), 6);
    }
    // Runs `fault` once, when the batch sizes its second picture: the first one's outputs are written, none of its own.
    void beforeSecondPicture(std::function<void()> fault)
    {
        QObject::connect(controller->sizeFieldH, &QLineEdit::textChanged, controller.get(), [fault, fired = faultFired](const QString &text) {
            if (text == "225" && !std::exchange(*fired, true))
                fault();
        });
    }
    static std::unique_ptr<FaultFolder> faultFolder(const QString &at, qint64 bytes)
    {
        auto folder = std::make_unique<FaultFolder>(at);
        QString why;
        EXPECT_TRUE(folder->create(bytes, &why)) << why.toStdString();
        return folder;
    }
    QByteArray ref(const QString &name) const { return bytesOf(path("ref/") + name); }
    // Exactly these files in `folder`, with these bytes; no argument: as in "ref".
    void expectFiles(const QString &folder, Files files = {}) const
    {
        if (files.empty())
            for (const QString &name : entriesOf(path("ref")))
                files[name] = ref(name);
        QStringList names;
        for (const auto &[name, bytes] : files) {
            names << name;
            EXPECT_EQ(bytesOf(folder + "/" + name), bytes) << name.toStdString();
        }
        EXPECT_EQ(entriesOf(folder), names);
    }
    // Saved again into a healthy folder, every output is as in "ref".
    void expectASaveAfterwardsWorks(const QString &folder, const QString &base = {})
    {
        QDir().mkpath(folder);
        saveTo(base.isEmpty() ? folder : folder + "/" + base);
        expectFiles(folder);
    }
    QString tempPreview() const { return AppPaths::supportFolder() + "/tempImage.jpg"; }
    // A logged copy failure for each output lost, and one alert naming them (with `reason` when given).
    void expectLost(const QString &folder, const QStringList &names, const LogCapture &log, const QString &reason = {}) const
    {
        for (const QString &name : names)
            EXPECT_TRUE(log.contains(QStringLiteral("failed to copy image from %1 to %2/%3").arg(tempPreview(), folder, name))) << name.toStdString();
        ASSERT_EQ(presenter.alerts.size(), 1u);
        EXPECT_EQ(presenter.alerts.back().title, "Files Not Saved");
        EXPECT_EQ(presenter.alerts.back().message, UnwrittenOutputs::alertText(controller->unwrittenOutputs));
        QStringList alerted;
        for (const UnwrittenOutput &output : controller->unwrittenOutputs) {
            alerted << QFileInfo(output.path).fileName();
            EXPECT_TRUE(reason.isEmpty() || output.reason == reason) << output.reason.toStdString();
        }
        EXPECT_EQ(alerted, names);
    }

    std::shared_ptr<bool> faultFired = std::make_shared<bool>(false);
    const QStringList batchLosses = {"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"};
};

TEST_F(SaveFaultTest, AReadOnlyDestinationKeepsItsFilesAndASaveAfterwardsWorks)
{
    prepareOne({2});
    const auto dest = faultFolder(path("dest"), 4 << 20);
    const Files older = {{"photo.jpg", "an older base output"}, {"photo@2x.jpg", "an older 2x output"}};
    for (const auto &[name, bytes] : older)
        writeBytes(dest->path() + "/" + name, bytes);
    QString why;
    if (!dest->setReadOnly(true, &why))
        GTEST_SKIP() << why.toStdString();
    LogCapture log;
    saveTo(dest->path() + "/photo.jpg");
    expectFiles(dest->path(), older);
    expectLost(dest->path(), {"photo.jpg", "photo@2x.jpg"}, log);
    ASSERT_TRUE(dest->setReadOnly(false, &why)) << why.toStdString();
    expectASaveAfterwardsWorks(dest->path(), "photo.jpg");
}

TEST_F(SaveFaultTest, AFullDiskKeepsThePreviousOutputWholeAndLeavesNoTemporaryFile)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    prepareOne({4});
    const qint64 page = 4096, baseRoom = (ref("photo.jpg").size() + page - 1) / page * page + page;
    ASSERT_GT(ref("photo@4x.jpg").size(), baseRoom) << "the 4x output must not fit where the base output does";
    const auto dest = faultFolder(path("dest"), 1 << 20);
    const QByteArray previous = ref("photo.jpg").repeated(3); // an older, different 4x output
    writeBytes(dest->path() + "/photo@4x.jpg", previous);
    // Room for the base output and less than the 4x output needs.
    writeBytes(dest->path() + "/ballast", QByteArray(dest->freeBytes() - baseRoom, '\0'));
    ASSERT_EQ(dest->freeBytes(), baseRoom);
    LogCapture log;
    saveTo(dest->path() + "/photo.jpg");
    expectFiles(dest->path(), {{"ballast", bytesOf(dest->path() + "/ballast")}, {"photo.jpg", ref("photo.jpg")}, {"photo@4x.jpg", previous}});
    expectLost(dest->path(), {"photo@4x.jpg"}, log, diskFull);
    ASSERT_TRUE(QFile::remove(dest->path() + "/ballast"));
    expectASaveAfterwardsWorks(dest->path(), "photo.jpg");
}

TEST_F(SaveFaultTest, AFullDiskUnderTheTempPreviewFileNeverReachesTheDestination)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    prepareOne({});
    writeBytes(path("dest/photo.jpg"), "an older output");
    // Every output passes through the temp preview file: its folder fills up.
    const auto support = faultFolder(AppPaths::supportFolder(), 256 << 10);
    writeBytes(support->path() + "/ballast", QByteArray(support->freeBytes(), '\0'));
    ASSERT_EQ(support->freeBytes(), 0);
    LogCapture log;
    saveTo(path("dest/photo.jpg"));
    EXPECT_EQ(bytesOf(path("dest/photo.jpg")), "an older output");
    EXPECT_TRUE(log.contains("Error writing to file: " + tempPreview()));
    expectLost(path("dest"), {"photo.jpg"}, log, "was not written: its temporary file " + tempPreview() + " " + diskFull);
    EXPECT_EQ(entriesOf(support->path()), QStringList({"ballast"}));
    ASSERT_TRUE(QFile::remove(support->path() + "/ballast"));
    expectASaveAfterwardsWorks(path("dest"), "photo.jpg");
}

// The batch: the fault strikes on the batch's own thread, between two pictures. A failed write does not stop a
// batch: it ends as a completed one, and names what it could not write.
using BatchFaultTest = SaveFaultTest;

TEST_F(BatchFaultTest, ADestinationTurnedReadOnlyMidBatchKeepsTheFirstOutputsAndTheBatchRunsToItsEnd)
{
    prepareBatch();
    const auto dest = faultFolder(path("dest"), 8 << 20);
    writeBytes(dest->path() + "/three@2x.jpg", "an older 2x output of three");
    QString why;
    beforeSecondPicture([&] { dest->setReadOnly(true, &why); });
    LogCapture log;
    saveTo(dest->path());
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    ASSERT_TRUE(*faultFired);
    expectFiles(dest->path(), {{"one.jpg", ref("one.jpg")}, {"one@2x.jpg", ref("one@2x.jpg")}, {"three@2x.jpg", "an older 2x output of three"}});
    expectLost(dest->path(), batchLosses, log);
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
    EXPECT_TRUE(controller->progressIndicator->isHidden());
    EXPECT_FALSE(controller->batchIsRunning());
    ASSERT_TRUE(dest->setReadOnly(false, &why)) << why.toStdString();
    expectASaveAfterwardsWorks(dest->path() + "/again");
}

TEST_F(BatchFaultTest, AFullDiskMidBatchKeepsWhatWasWrittenAndEveryOlderFile)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    prepareBatch();
    const auto dest = faultFolder(path("dest"), 2 << 20);
    const QByteArray older = ref("one.jpg").repeated(2);
    writeBytes(dest->path() + "/two@2x.jpg", older);
    beforeSecondPicture([&] { writeBytes(dest->path() + "/ballast", QByteArray(dest->freeBytes(), '\0')); });
    LogCapture log;
    saveTo(dest->path());
    ASSERT_TRUE(*faultFired);
    ASSERT_EQ(dest->freeBytes(), 0);
    expectFiles(dest->path(), {{"ballast", bytesOf(dest->path() + "/ballast")}, {"one.jpg", ref("one.jpg")},
                               {"one@2x.jpg", ref("one@2x.jpg")}, {"two@2x.jpg", older}});
    expectLost(dest->path(), batchLosses, log, diskFull);
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
    EXPECT_FALSE(controller->batchIsRunning());
}

TEST_F(BatchFaultTest, ABatchFolderRemovedMidBatchStopsTheBatchAndIsNotMadeAgain)
{
    prepareBatch();
    const QString dest = path("dest");
    QDir().mkpath(dest);
    beforeSecondPicture([&] { QDir(dest).removeRecursively(); });
    LogCapture log;
    saveTo(dest);
    ASSERT_TRUE(*faultFired);
    EXPECT_FALSE(QFileInfo::exists(dest));
    EXPECT_TRUE(log.contains(QStringLiteral("The batch folder %1 is no longer there; the batch stops before %2").arg(dest, path("b/two.png"))));
    for (const QString &line : log.messages()) // no write was even tried after the removal
        EXPECT_FALSE(line.startsWith("failed to copy image")) << line.toStdString();
    // Stopped as at an existing output, but without the alert: the person did this.
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_EQ(controller->inputFileCount->text(), "showing image 2 of 3 images");
    EXPECT_EQ(controller->inputImage->largestPixelSize(), QSize(200, 300));
    EXPECT_TRUE(controller->progressIndicator->isHidden());
    EXPECT_FALSE(controller->batchIsRunning());
    expectASaveAfterwardsWorks(path("later"));
}

TEST_F(BatchFaultTest, AFolderNamedLikeAFormatOutputIsSkippedAndTheBatchGoesOn)
{
    prepareBatch();
    writeBytes(path("dest/two@2x.jpg/inside.txt"), "kept");
    LogCapture log;
    saveTo(path("dest"));
    expectFiles(path("dest/two@2x.jpg"), {{"inside.txt", "kept"}});
    EXPECT_TRUE(log.contains(path("dest/two@2x.jpg") + " is a folder"));
    expectLost(path("dest"), {"two@2x.jpg"}, log, "is a folder");
    EXPECT_EQ(entriesOf(path("dest")), entriesOf(path("ref")));
    for (const QString &name : entriesOf(path("ref")))
        EXPECT_TRUE(name == "two@2x.jpg" || bytesOf(path("dest/") + name) == ref(name)) << name.toStdString();
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
}

} // namespace
