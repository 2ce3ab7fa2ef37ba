// The batch save on its background thread: names, the folder, the stop at an existing output,
// skipped entries, the proportion lock, fitting within a box, and what the window does meanwhile.

#include "WindowFixture.h"
#include "QP_ImageView.h"
#include "SaveAll.h"
#include <QProgressBar>
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
    QString one, two, three;
};

// How a batch of pictures from two folders ends: the files it left side by side (whole, nothing
// past where it ended, not even a temporary file), the message, the window and the warning.
TEST_F(BatchTest, TheProgressTheFilesLeftAndTheWindowForEachWayABatchEnds)
{
    struct Case {
        const char *name;
        std::function<void()> before; // after the pictures arrive
        int cancelAfter;              // pictures written before Cancel is pressed; -1: never
        QStringList left;             // the folder's entries afterwards
        QString message;              // with OUT for the folder
        const char *alert;            // the title of the only alert, if any
        QString position;             // empty: not checked
    };
    const QString four = writePicture("b/four.png", 320, 240);
    const QString out = path("out");
    const std::vector<Case> cases = {
        {"completed", nullptr, -1, {"four.jpg", "four@2x.jpg", "one.jpg", "one@2x.jpg", "three.jpg", "three@2x.jpg", "two.jpg", "two@2x.jpg"},
         "Saved 8 files to OUT", "", "showing the first of 4 images"},
        {"cancelled after the second picture", nullptr, 2, {"one.jpg", "one@2x.jpg", "two.jpg", "two@2x.jpg"},
         "Saved 4 files to OUT\nThe batch was cancelled before picture 3 of 4.", "", ""},
        {"stopped by the second picture's existing output", [&] { writeBytes(out + "/two.jpg", "older"); }, -1,
         {"one.jpg", "one@2x.jpg", "two.jpg"}, "Saved 2 files to OUT\nThe batch stopped at picture 2 of 4: two.jpg exists already.",
         "File Exists", "showing image 2 of 4 images"},
        {"a picture unreadable since it arrived", [&] { writeBytes(three, "no longer a picture"); }, -1,
         {"four.jpg", "four@2x.jpg", "one.jpg", "one@2x.jpg", "two.jpg", "two@2x.jpg"},
         "Saved 6 files to OUT\n\nThis file could not be saved in OUT:\n\nthree.jpg was not made: three.tif could not be read "
         "(it is not a picture of a type this program reads)",
         "Files Not Saved", "showing the first of 4 images"},
    };
    storeFormats({twice()});
    setLock(false);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(out).removeRecursively();
        writePicture("a/three.tif", 400, 400);
        presenter.alerts.clear();
        controller->multipleImagesProvided({one, two, three, four});
        setSize(310, 40); // wider than one.png only: the base output is upscaled on one side
        if (c.before)
            c.before();
        QStringList texts; // of the progress steps seen with the progress and Cancel showing
        const QMetaObject::Connection watch = QObject::connect(controller->progressIndicator, &QProgressBar::valueChanged, [&](int value) {
            if (!controller->progressIndicator->isHidden() && !controller->cancelBatchButton->isHidden())
                texts << controller->progressIndicator->text();
            if (value == c.cancelAfter)
                controller->cancelBatchButton->click();
        });
        saveTo(out);
        QObject::disconnect(watch);
        EXPECT_EQ(entriesOf(out), c.left);
        for (const QString &name : c.left) // but the older file that stopped the batch
            EXPECT_TRUE(bytesOf(out + "/" + name) == "older" ||
                        pixelSize(out + "/" + name) == (name.contains("@2x") ? QSize(620, 80) : QSize(310, 40))) << name.toStdString();
        EXPECT_EQ(controller->messageBar->text(), QString(c.message).replace("OUT", out));
        ASSERT_EQ(presenter.alerts.size(), *c.alert ? 1 : 0);
        EXPECT_TRUE(!*c.alert || presenter.alerts[0].title == c.alert);
        EXPECT_FALSE(texts.isEmpty());
        EXPECT_TRUE(controller->progressIndicator->isHidden() && controller->cancelBatchButton->isHidden());
        EXPECT_TRUE(c.position.isEmpty() || controller->inputFileCount->text() == c.position) << controller->inputFileCount->text().toStdString();
        if (c.name != QString("completed"))
            continue;
        // The bar names the picture being made and counts the ones done.
        EXPECT_EQ(texts, QStringList({"picture 1 of 4", "picture 2 of 4", "picture 3 of 4", "picture 4 of 4", "picture 4 of 4"}));
        EXPECT_EQ(controller->scaledUp, 3);
        EXPECT_EQ(controller->scaledUpWarningField->text(),
                  "The output size is larger than one or more of the input images. Quillpane is (at present) designed for scaling "
                  "down; upscaled images are likely to be less sharp than the input image");
        controller->closeScaledUpSheet();
    }
}

// Pictures converted side by side are written exactly as the window's Save writes each alone.
TEST_F(BatchTest, EachPictureIsWrittenByteForByteAsASaveOfItAloneWrites)
{
    UserDefaults::standard().setIntegerForKey(0, PrefKey::resetSliders); // the sharpening stays for the saves alone
    const QString photo = path("b/photo.jpg");
    ASSERT_TRUE(QImage(one).save(photo, "JPEG", 92));
    storeFormats({twice(), format("-thumb", 2, {{"maxeither", "50"}})});
    const QStringList pictures = {one, two, three, photo};
    controller->multipleImagesProvided(pictures);
    setLock(true);
    setSize(150, 100);
    controller->handleControl(controller->sizeFieldW);
    controller->sharpenSlider->setFloatValue(0.4f);
    saveTo(path("batch"));
    for (const QString &picture : pictures) {
        ASSERT_TRUE(controller->applicationOpenFile(picture));
        setSize(150, 100);
        controller->handleControl(controller->sizeFieldW);
        const QString name = QFileInfo(picture).completeBaseName();
        saveTo(path("alone/") + name + ".jpg");
        for (const char *suffix : {".jpg", "@2x.jpg", "-thumb.jpg"})
            EXPECT_EQ(bytesOf(path("batch/") + name + suffix), bytesOf(path("alone/") + name + suffix)) << (name + suffix).toStdString();
    }
    EXPECT_EQ(entriesOf(path("alone")), entriesOf(path("batch")));
}

// The outputs go to a new dated folder inside the one chosen; what arrives meanwhile is refused.
TEST_F(BatchTest, OneBatchAtATimeIntoADatedFolderAndArrivalsDuringItChangeNothing)
{
    UserDefaults::standard().setIntegerForKey(1, PrefKey::makeDirectoryForBatch);
    controller->multipleImagesProvided({one, two});
    QDir().mkpath(path("out"));
    presenter.choose({path("out")});
    controller->doit();
    // The batch thread now waits for this thread, which does not run its queue yet.
    ASSERT_TRUE(controller->batchIsRunning());
    presenter.choose({path("elsewhere")});
    controller->doit();
    controller->multipleImagesProvided({one, one});
    EXPECT_FALSE(controller->applicationOpenFile(two));
    EXPECT_EQ(presenter.beeps, 3);
    controller->waitForBatch();
    const QStringList folders = entriesOf(path("out"));
    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(QRegularExpression("^QuillpanedImages\\d{8}-\\d{6}$").match(folders[0]).hasMatch()) << folders[0].toStdString();
    EXPECT_EQ(entriesOf(path("out/") + folders[0]), QStringList({"one.jpg", "two.jpg"}));
    EXPECT_FALSE(QDir(path("elsewhere")).exists());
    EXPECT_EQ(*controller->inputFileArray, QStringList({one, two}));
}

// What already stands in the batch folder: an existing base output stops the batch, as does
// a format's output that is one of the batch's own pictures; any other existing format
// output, and a link at a format's name, is replaced (never what a link points to).
TEST_F(BatchTest, WhatStandsInTheFolderStopsTheBatchOnlyWhereAnOutputWouldDestroyIt)
{
    struct Case {
        const char *name;
        QStringList pictures;  // in "in/", written as 300 x 200 pictures
        QStringList older;     // files holding "older"
        QStringList links;     // "name>target" links
        const char *alertName; // empty: no stop
        QStringList batch;     // the batch list, when not the pictures
    };
    const QStringList both = {"photo.png", "next.png"};
    const std::vector<Case> cases = {
        {"a file named like the base output", both, {"photo.jpg"}, {}, "photo.jpg", {}},
        {"a dangling link named like the base output", both, {}, {"photo.jpg>../nowhere"}, "photo.jpg", {}},
        {"a link to a folder named like the base output", both, {}, {"photo.jpg>../in"}, "photo.jpg", {}},
        {"an older format output is replaced", both, {"photo@2x.jpg"}, {}, "", {}},
        {"a link at a format's name is replaced itself", both, {}, {"photo@2x.jpg>../victim.txt"}, "", {}},
        // Written into the pictures' own folder, the pictures are what must survive.
        {"in the sources: a picture of the batch is its own output", {"photo.jpg", "next.png"}, {}, {}, "photo.jpg", {}},
        {"in the sources: a format output that is a picture of the batch", {"x.png", "x@2x.jpg"}, {}, {}, "x@2x.jpg", {}},
        {"in the sources: a format output that a picture of the batch links to", {"x.png", "x@2x.jpg"}, {}, {"alias.jpg>x@2x.jpg"},
         "x@2x.jpg", {"x.png", "alias.jpg"}},
    };
    storeFormats({format("@2x", 0, {{"xabs", "40"}, {"yabs", "20"}})});
    setLock(false);
    setSize(60, 40);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(path("in")).removeRecursively();
        QDir(path("out")).removeRecursively();
        writeBytes(path("victim.txt"), "victim");
        for (const QString &picture : c.pictures)
            writePicture("in/" + picture, 300, 200);
        QStringList list;
        for (const QString &entry : c.batch.isEmpty() ? c.pictures : c.batch)
            list << path("in/" + entry);
        const bool intoSources = QString(c.name).startsWith("in the sources");
        const QString folder = intoSources ? path("in") : path("out");
        QDir().mkpath(folder);
        for (const QString &name : c.older)
            writeBytes(folder + "/" + name, "older");
        for (const QString &link : c.links)
            ASSERT_TRUE(QFile::link(link.section('>', 1), folder + "/" + link.section('>', 0, 0)));
        presenter.alerts.clear();
        controller->multipleImagesProvided(list);
        saveTo(folder);

        ASSERT_EQ(presenter.alerts.size(), *c.alertName ? 1 : 0);
        for (const AlertPanel &alert : presenter.alerts) {
            EXPECT_EQ(alert.title + "/" + alert.defaultButton, "File Exists/Cancel");
            EXPECT_TRUE(alert.message.startsWith(QString(c.alertName) + " exists already at the location you've chosen.")) << alert.message.toStdString();
        }
        // What a stop leaves, and any other name than an output's, stays as it was.
        for (const QString &name : c.older)
            EXPECT_TRUE((!*c.alertName && name.contains("@2x")) || bytesOf(folder + "/" + name) == "older") << name.toStdString();
        for (const QString &link : c.links)
            EXPECT_TRUE(!*c.alertName || QFileInfo(folder + "/" + link.section('>', 0, 0)).isSymLink()) << link.toStdString();
        for (const QString &picture : c.pictures)
            EXPECT_EQ(pixelSize(path("in/") + picture), QSize(300, 200)) << picture.toStdString();
        EXPECT_EQ(bytesOf(path("victim.txt")), "victim");
        QStringList pictures;
        for (const QString &name : entriesOf(path("out")))
            if (pixelSize(path("out/") + name).isValid())
                pictures << name;
        EXPECT_EQ(pictures, *c.alertName || intoSources ? QStringList() : QStringList({"next.jpg", "next@2x.jpg", "photo.jpg", "photo@2x.jpg"}));
    }
}

// Settings changed while a batch runs reach the preview, never the batch: every picture
// and every format is written as things stood when Save was pressed.
TEST_F(BatchTest, EveryPictureIsWrittenWithTheSettingsInForceWhenSaveWasPressed)
{
    UserDefaults::standard().setIntegerForKey(2, PrefKey::fileFormat);
    storeFormats({twice()});
    controller->multipleImagesProvided({one, two, three});
    setLock(true);
    setSize(150, 100);
    controller->handleControl(controller->sizeFieldW);
    // Changed while the second picture is shown, after the first was written.
    QMetaObject::Connection hook = QObject::connect(controller->sizeFieldH, &QLineEdit::textChanged, controller.get(), [&](const QString &text) {
        if (text != "225")
            return;
        QObject::disconnect(hook);
        controller->sizeFieldW->setText("600");
        controller->handleControl(controller->sizeFieldW);
        UserDefaults::standard().setIntegerForKey(1, PrefKey::fileFormat);
        storeFormats({format("@3x", 1, {{"xratio", "3"}, {"yratio", "3"}})});
    });
    saveTo(path("out"));
    QObject::disconnect(hook);
    EXPECT_EQ(UserDefaults::standard().integerForKey(PrefKey::fileFormat), 1) << "changed during the batch";
    // The type's batch extension, never the source's own (three.tif); the lock fits each picture.
    EXPECT_EQ(entriesOf(path("out")), QStringList({"one.tiff", "one@2x.tiff", "three.tiff", "three@2x.tiff", "two.tiff", "two@2x.tiff"}));
    EXPECT_EQ(pixelSize(path("out/one.tiff")), QSize(150, 100));
    EXPECT_EQ(pixelSize(path("out/two.tiff")), QSize(150, 225));
    EXPECT_EQ(pixelSize(path("out/two@2x.tiff")), QSize(300, 450));
}

// Fitting each picture within the box, in the preview and by the batch, with the formats
// measured from the base output; "Never enlarge" keeps a smaller picture's size.
TEST_F(BatchTest, EachPictureTakesTheLargestSizeOfItsProportionsWithinTheBox)
{
    const QStringList pictures = {one, two}, names = {"one", "two"};
    // Both follow the base output: twice its size, and its proportions at 480 on the longest side.
    storeFormats({twice(), format("-480", 2, {{"maxeither", "480"}})});
    controller->fitWithinCheckBox->click();
    const int format = SaveAll::kFormatUpscaled, both = SaveAll::kFormatUpscaled | SaveAll::kBaseUpscaled;
    const struct {
        bool neverEnlarge;
        QSize sizes[2][3]; // of each picture: base, 2x, 480 on the longest side
        int scaledUp; // by the batch
    } cases[] = {
        {false, {{{375, 250}, {750, 500}, {480, 320}}, {{167, 250}, {334, 500}, {321, 480}}}, both},
        {true, {{{300, 200}, {600, 400}, {480, 320}}, {{167, 250}, {334, 500}, {321, 480}}}, format},
    };
    setSize(400, 250);
    controller->handleControl(controller->sizeFieldW);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.neverEnlarge ? "never enlarge" : "enlarge");
        if (controller->neverEnlargeCheckBox->isChecked() != c.neverEnlarge)
            controller->neverEnlargeCheckBox->click();
        for (int i = 0; i < 2; ++i) { // as the preview shows it
            ASSERT_TRUE(controller->applicationOpenFile(pictures[i]));
            EXPECT_EQ(controller->sizeFieldH->text(), "250") << "the box stays as typed";
            EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(c.sizes[i][0])) << names[i].toStdString();
        }
        const QString folder = path(QStringLiteral("%1/").arg(c.neverEnlarge));
        controller->multipleImagesProvided(pictures);
        saveTo(folder);
        for (int i = 0; i < 2; ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(pixelSize(folder + names[i] + QStringList{".jpg", "@2x.jpg", "-480.jpg"}[k]), c.sizes[i][k]) << names[i].toStdString() << k;
        EXPECT_EQ(controller->scaledUp, c.scaledUp);
        EXPECT_EQ(controller->sizeFieldW->text() + "x" + controller->sizeFieldH->text(), "400x250") << "the batch leaves the box";
        controller->closeScaledUpSheet();
    }
}

} // namespace
