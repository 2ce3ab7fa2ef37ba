// The batch save on its background thread: names, the folder, the stop at an existing
// output, skipped entries, the proportion lock, and what the window does meanwhile.

#include "WindowFixture.h"

#include "Controls.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

namespace {

class BatchTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        UserDefaults::standard().setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
        one = writePicture("a/one.png", 300, 200);
        two = writePicture("b/two.jpeg", 200, 300);
        three = writePicture("a/three.tif", 400, 400);
    }
    void saveBatchInto(const QString &folder)
    {
        presenter.choose({folder});
        controller->doit();
        controller->waitForBatch();
    }
    QStringList written(const QString &folder) const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    QString one, two, three;
};

TEST_F(BatchTest, ThreePicturesFromTwoFoldersLandSideBySideWithTheirFormats)
{
    storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}})});
    controller->multipleImagesProvided({one, two, three});
    setLock(false);
    setSize(90, 60);
    QDir().mkpath(path("out"));
    saveBatchInto(path("out"));

    EXPECT_EQ(written(path("out")),
              QStringList({"one.jpg", "one@2x.jpg", "three.jpg", "three@2x.jpg", "two.jpg", "two@2x.jpg"}));
    // With the lock off every picture gets the same size.
    for (const char *name : {"one.jpg", "two.jpg", "three.jpg"})
        EXPECT_EQ(pixelSize(path("out/") + name), QSize(90, 60)) << name;
    EXPECT_EQ(pixelSize(path("out/two@2x.jpg")), QSize(180, 120));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
    EXPECT_EQ(controller->cursor, 0);
    EXPECT_FALSE(controller->previousImage->isEnabled());
    EXPECT_TRUE(controller->nextImage->isEnabled());
    EXPECT_EQ(controller->inputImage->largestPixelSize(), QSize(300, 200));
    EXPECT_EQ(controller->progressIndicator->maximum(), 1); // animation stopped
    EXPECT_TRUE(presenter.alerts.empty());
}

TEST_F(BatchTest, WithTheLockOnEachPictureKeepsItsProportions)
{
    controller->multipleImagesProvided({one, two, three});
    setLock(true);
    setSize(150, 100);
    controller->handleControl(controller->sizeFieldW);
    UserDefaults::standard().setIntegerForKey(2, PrefKey::fileFormat);
    QDir().mkpath(path("out"));
    saveBatchInto(path("out"));
    EXPECT_EQ(pixelSize(path("out/one.tiff")), QSize(150, 100));
    EXPECT_EQ(pixelSize(path("out/two.tiff")), QSize(150, 225));
    EXPECT_EQ(pixelSize(path("out/three.tiff")), QSize(150, 150));
    EXPECT_FALSE(QFile::exists(path("out/one.tif")));
}

TEST_F(BatchTest, IntoTheSourceFolderItStopsAtTheFirstPictureWithFileExistsAndWritesNothing)
{
    controller->multipleImagesProvided({one, two, three});
    UserDefaults::standard().setIntegerForKey(1, PrefKey::fileFormat);
    const QStringList before = written(path("a"));
    saveBatchInto(path("a"));
    EXPECT_EQ(written(path("a")), before);
    EXPECT_FALSE(QFile::exists(path("b/two.png")));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, "File Exists");
    EXPECT_TRUE(presenter.alerts[0].message.startsWith("one.png exists already at the location you've chosen."));
    EXPECT_EQ(presenter.alerts[0].defaultButton, "Cancel");
    EXPECT_EQ(controller->inputFileCount->text(), "showing image 1 of 3 images");
    EXPECT_EQ(controller->progressIndicator->maximum(), 1);
}

TEST_F(BatchTest, ADatedSubFolderReceivesTheOutputsAndUnreadableEntriesAreSkipped)
{
    UserDefaults::standard().setIntegerForKey(1, PrefKey::makeDirectoryForBatch);
    QFile text(path("a/notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    controller->multipleImagesProvided({one, path("a/notes.txt"), path("a"), three});
    QDir().mkpath(path("out"));
    const QString before = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    saveBatchInto(path("out"));
    const QStringList folders = QDir(path("out")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(QRegularExpression("^QuillpanedImages\\d{8}-\\d{6}$").match(folders[0]).hasMatch()) << folders[0].toStdString();
    EXPECT_GE(folders[0].mid(16), before);
    EXPECT_EQ(written(path("out/") + folders[0]), QStringList({"one.jpg", "three.jpg"}));
    EXPECT_TRUE(presenter.alerts.empty());
}

TEST_F(BatchTest, OneBatchAtATimeAndArrivalsDuringItChangeNothing)
{
    controller->multipleImagesProvided({one, two});
    QDir().mkpath(path("out"));
    presenter.choose({path("out")});
    controller->doit();
    // The batch thread now waits for this thread, which does not run its queue yet.
    ASSERT_TRUE(controller->batchIsRunning());
    presenter.choose({path("elsewhere")});
    controller->doit();
    EXPECT_EQ(presenter.beeps, 1);
    const QString other = writePicture("c/other.png", 50, 50);
    controller->multipleImagesProvided({other, other});
    EXPECT_FALSE(controller->applicationOpenFile(other));
    EXPECT_EQ(presenter.beeps, 3);
    // Sliders moved all through the batch render previews beside its conversions.
    int moves = 0;
    while (controller->batchIsRunning()) {
        controller->qualitySlider->setFloatValue(float(50 + moves % 40));
        controller->handleControl(controller->qualitySlider);
        ++moves;
        QCoreApplication::processEvents();
    }
    EXPECT_GT(moves, 1);
    EXPECT_EQ(written(path("out")), QStringList({"one.jpg", "two.jpg"}));
    EXPECT_FALSE(QDir(path("elsewhere")).exists());
    EXPECT_EQ(*controller->inputFileArray, QStringList({one, two}));
}

TEST_F(BatchTest, UpscalingInABatchTakesTheBatchWordingAfterThePass)
{
    storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}})});
    controller->multipleImagesProvided({one, two});
    setLock(false);
    setSize(250, 250);
    QDir().mkpath(path("out"));
    saveBatchInto(path("out"));
    EXPECT_EQ(controller->scaledUp, 3);
    EXPECT_EQ(controller->scaledUpWarningField->text(),
              "The output size is larger than one or more of the input images. Quillpane is (at present) designed for scaling "
              "down; upscaled images are likely to be less sharp than the input image");
    EXPECT_TRUE(controller->scaledUpWarningWindow->isVisible());
}

} // namespace
