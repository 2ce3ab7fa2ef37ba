// The Save command for one picture: the base output and every selected format, their names
// and pixel sizes, the upscaling warning, the panels, and what a save never destroys.

#include "WindowFixture.h"
#include "FileSizeBudget.h"

#include <QMessageBox>
#include <QSpinBox>

namespace {

class SaveTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        source = writePicture("in/photo.png", 300, 200);
    }
    QString source;
};

TEST_F(SaveTest, WritesTheBaseThenEachSelectedFormatAtItsSizeAndWarnsAboutWhatIsUpscaled)
{
    // 400 x 200 pixels at 144 dpi: 200 x 100 points, from which the "-half" format measures.
    const QString dense = writePicture("in/dense.png", 400, 200, 144);
    storeFormats({twice(), format("-never", 0, {{"xabs", "50"}, {"yabs", "50"}, {"selected", false}}),
                  format("-half", 1, {{"xratio", "0.5"}, {"yratio", "0.5"}, {"relativeto", 0}})});
    adopt(dense, 300, 200);
    saveTo(path("out/beach.png")); // with the output type's extension, not the one typed
    EXPECT_EQ(entriesOf(path("out")), QStringList({"beach-half.jpg", "beach.jpg", "beach@2x.jpg"}));
    const std::pair<const char *, QSize> written[] = {{"beach.jpg", {300, 200}}, {"beach@2x.jpg", {600, 400}}, {"beach-half.jpg", {100, 50}}};
    for (const auto &[name, size] : written)
        EXPECT_EQ(pixelSize(path("out/") + name), size) << name;

    // The 2x format is larger than the 400 x 200 input; the base only once it is larger on either side.
    const QString formatText = "One or more of the additional formats has a pixel size which is larger than the input image.";
    const QString baseText = "The output size is larger than the input image.";
    for (const auto &[base, flags] : {std::pair{QSize(400, 200), 1}, {QSize(400, 201), 3}}) {
        SCOPED_TRACE(base.width());
        adopt(dense, base.width(), base.height());
        saveTo(path("out/beach.jpg"));
        EXPECT_EQ(controller->scaledUp, flags);
        EXPECT_EQ(controller->scaledUpWarningField->text(), (flags == 3 ? baseText : formatText) +
                      " Quillpane is (at present) designed for scaling down; upscaled images are likely to be less sharp than the input image");
        EXPECT_TRUE(controller->scaledUpWarningWindow->isVisible());
        controller->closeScaledUpSheet();
    }
    UserDefaults::standard().setBoolForKey(false, PrefKey::warnAboutUpscaling);
    saveTo(path("out/quiet.jpg"));
    EXPECT_EQ(controller->scaledUp, 0);
    EXPECT_FALSE(controller->scaledUpWarningWindow->isVisible());
}

// Whatever stands at an output path is replaced only by a finished output, and then the entry
// itself: a link is replaced, never followed. A file someone made read-only is kept, and a
// modifier that would leave the folder is skipped. What could not be written is named in one
// alert and in the window's message, which opens the folder; the next save starts afresh.
TEST_F(SaveTest, WhatStandsAtTheOutputPathsIsReplacedOnlyByAFinishedOutputAndNeverThroughALink)
{
    storeFormats({format("@2x", 0, {{"xabs", "20"}, {"yabs", "20"}}), format("@3x", 0, {{"xabs", "30"}, {"yabs", "20"}}),
                  format("-ro", 0, {{"xabs", "40"}, {"yabs", "20"}}), format("-old", 0, {{"xabs", "50"}, {"yabs", "20"}}),
                  format("/../escape", 0, {{"xabs", "20"}, {"yabs", "20"}}), format("-huge", 0, {{"xabs", "100000"}, {"yabs", "100000"}})});
    QDir().mkpath(path("folder"));
    writeBytes(path("victim.txt"), "victim");
    writeBytes(path("out/pic-old.jpg"), "old");
    writeBytes(path("out/pic-ro.jpg"), "kept");
    ASSERT_TRUE(QFile::setPermissions(path("out/pic-ro.jpg"), QFile::ReadOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link("../victim.txt", path("out/pic.jpg")));
    ASSERT_TRUE(QFile::link("../nowhere.jpg", path("out/pic@2x.jpg")));
    ASSERT_TRUE(QFile::link("../folder", path("out/pic@3x.jpg")));
    const QStringList entries = {"pic-old.jpg", "pic-ro.jpg", "pic.jpg", "pic@2x.jpg", "pic@3x.jpg"};
    for (const QSize size : {QSize(0, 0), QSize(60, 40)}) { // a size of 0 makes no output
        SCOPED_TRACE(size.width());
        adopt(source, size.width(), size.height());
        saveTo(path("out/pic.jpg"));
        EXPECT_EQ(bytesOf(path("victim.txt")) + bytesOf(path("out/pic-ro.jpg")), "victimkept");
        EXPECT_TRUE(QDir(path("folder")).isEmpty());
        EXPECT_EQ(entriesOf(path("out")), entries) << "nothing else, not even a temporary file";
        EXPECT_EQ(entriesOf(files.path()), QStringList({"folder", "in", "out", "victim.txt"})) << "nothing where a link points";
    }
    const std::pair<const char *, QSize> written[] = {{"pic.jpg", {60, 40}}, {"pic@2x.jpg", {20, 20}}, {"pic@3x.jpg", {30, 20}},
                                                      {"pic-old.jpg", {50, 20}}};
    for (const auto &[name, size] : written) {
        EXPECT_FALSE(QFileInfo(path("out/") + name).isSymLink()) << name;
        EXPECT_EQ(pixelSize(path("out/") + name), size) << name;
    }
    const QString skipped = "skipping format with modifier /../escape: it would write outside the folder of " + path("out/pic.jpg");
    const QString alert = QStringLiteral("These 2 files could not be saved in %1:\n\npic-ro.jpg is read-only and was left as it was\n"
                                         "pic-huge.jpg could not be made at 100000 x 100000 pixels\n").arg(path("out")) + skipped;
    EXPECT_EQ(presenter.messages().last(), alert);
    EXPECT_EQ(controller->messageBar->text(), "Saved 4 files to " + path("out") + "\n\n" + alert);
    EXPECT_EQ(controller->messageBar->kind(), WindowMessage::Kind::Warning);
    const qsizetype alerts = presenter.alerts.size();
    storeFormats({});
    saveTo(path("out/fine.jpg"));
    EXPECT_EQ(presenter.alerts.size(), alerts);
    EXPECT_EQ(controller->messageBar->text(), "Saved 1 file to " + path("out"));
    EXPECT_EQ(controller->messageBar->kind(), WindowMessage::Kind::Information);
    UrlCatcher desktop;
    controller->messageBar->actionButton()->click();
    EXPECT_EQ(desktop.urls, QList<QUrl>({QUrl::fromLocalFile(path("out"))}));
}

TEST_F(SaveTest, TheBudgetHoldsForTheBaseAndEachFormatAndWhatCannotFitIsListed)
{
    storeFormats({twice(), format("-huge", 0, {{"xabs", "2400"}, {"yabs", "1600"}})});
    controller->fileSizeBudgetField->setValue(4); // stores it
    controller->fileSizeBudgetCheckBox->click();
    adopt(writePicture("in/large.png", 1000, 800), 300, 200);
    saveTo(path("out/beach.jpg"));
    for (const char *name : {"out/beach.jpg", "out/beach@2x.jpg"})
        EXPECT_LE(QFileInfo(path(name)).size(), 4000) << name;
    const qint64 huge = QFileInfo(path("out/beach-huge.jpg")).size();
    EXPECT_EQ(pixelSize(path("out/beach-huge.jpg")), QSize(2400, 1600)); // written all the same
    const QString reason = FileSizeBudget::overBudgetReason(huge, 4000, 0);
    EXPECT_EQ(presenter.messages(), QStringList({QStringLiteral("This file in %1 was saved larger than the budget:\n\nbeach-huge.jpg %2").arg(path("out"), reason)}));
    // The slider showed the quality the budget allowed; the person's own stays stored.
    EXPECT_LT(controller->qualitySlider->floatValue(), 98.0f);
    EXPECT_EQ(UserDefaults::standard().floatForKey(PrefKey::qualityValue), kFirstRunQuality);
}

// Save is offered only with a picture, by the menu and the keyboard; its panel offers the output
// type's extensions beside the picture, or where the last save went.
TEST_F(SaveTest, SaveIsOfferedWithAPictureAndItsPanelOpensBesideItOrWhereTheLastSaveWent)
{
    UserDefaults &defaults = UserDefaults::standard();
    controller->doit();
    EXPECT_EQ(presenter.beeps, 1);
    EXPECT_TRUE(presenter.panels.empty());
    controller->uiWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->uiWindow));
    adopt(source, 60, 40);
    EXPECT_TRUE(controller->saveMenuItem->isEnabled());
    for (const auto &[type, types] : std::vector<std::pair<int, QStringList>>{{1, {"png"}}, {2, {"tiff", "tif"}}, {0, {"jpg", "jpeg"}}}) {
        defaults.setIntegerForKey(type, PrefKey::fileFormat);
        QTest::keySequence(controller->uiWindow, QKeySequence::Save); // cancelled
        EXPECT_EQ(presenter.panels.back().allowedFileTypes, types);
        EXPECT_FALSE(presenter.panels.back().allowsOtherFileTypes);
    }
    presenter.choose({}); // confirmed without a file
    controller->doit();
    EXPECT_EQ(entriesOf(files.path()), QStringList({"in"}));

    saveTo(path("out/first.jpg"));
    EXPECT_EQ(presenter.panels.back().directory, path("in"));
    EXPECT_EQ(presenter.panels.back().suggestedName, "photo.jpg");
    EXPECT_EQ(defaults.stringForKey(PrefKey::lastSaveFolder), path("out"));
    // Cancelled, with png chosen: never the picture's own file; the stored folder stays.
    defaults.setIntegerForKey(1, PrefKey::fileFormat);
    controller->doit();
    EXPECT_EQ(presenter.panels.back().suggestedName, "photo-60px.png");
    EXPECT_EQ(defaults.stringForKey(PrefKey::lastSaveFolder), path("out"));
    // A picture without a file opens where the last save went.
    controller->singleImageProvided(Picture::fromQImage(QImage(40, 30, QImage::Format_RGB32)));
    controller->doit();
    EXPECT_EQ(presenter.panels.back().directory, path("out"));
    EXPECT_EQ(presenter.panels.back().suggestedName, "Pasted picture.png");
}

// The real save panel opens in the folder and with the name given; a name typed with another
// type's extension is corrected before the panel takes it, so replacing an existing file is
// asked about under the name written.
TEST_F(SaveTest, TheRealSavePanelOffersTheNameGivenAndCorrectsATypedName)
{
    writeBytes(path("out/wrongext.jpg"), "");
    FileDialogPresenter panels(controller->uiWindow);
    FilePanel panel;
    panel.allowedFileTypes = {"jpg", "jpeg"};
    panel.directory = path("out");
    panel.suggestedName = "photo.jpg";
    QString shownFolder, shownName, question;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        shownFolder = dialog->directory().canonicalPath();
        auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        ASSERT_TRUE(field); // the name field, as the person finds it
        shownName = field->text();
        field->setText("wrongext.png");
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                question = box->text();
                box->button(QMessageBox::Yes)->click();
            }
        });
        QTest::keyClick(field, Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
    const FilePanelResult result = panels.runSavePanel(panel);
    EXPECT_EQ(shownFolder, QDir(path("out")).canonicalPath());
    EXPECT_EQ(shownName, "photo.jpg");
    EXPECT_TRUE(question.contains("wrongext.jpg")) << question.toStdString();
    EXPECT_EQ(result.returnCode, 1);
    EXPECT_EQ(result.urls, QList<QUrl>({QUrl::fromLocalFile(path("out/wrongext.jpg"))}));
}

} // namespace
