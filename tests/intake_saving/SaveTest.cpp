// The Save command for one picture: the base output and every selected format, their
// names and pixel sizes, the upscaling flags and texts, and what a save never destroys.

#include "WindowFixture.h"
#include "FileSizeBudget.h"

#include <QAction>
#include <QImageReader>
#include <QMessageBox>
#include <QSpinBox>
#include <QToolBar>

namespace {

const QString kUpscaledTail = " Quillpane is (at present) designed for scaling down; upscaled images are likely to be less sharp than "
                              "the input image";

class SaveTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        source = writePicture("in/photo.png", 300, 200);
    }
    void saveTo(const QString &base)
    {
        QDir().mkpath(QFileInfo(base).absolutePath()); // a save panel names an existing folder
        presenter.choose({base});
        controller->doit();
    }
    QStringList filesIn(const QString &folder) const { return QDir(path(folder)).entryList(QDir::Files); }
    QString source;
};

TEST_F(SaveTest, WritesTheBaseThenEachSelectedFormatAtItsSizeAndFlagsWhatIsUpscaled)
{
    const QString large = writePicture("in/large.png", 1000, 800);
    storeFormats({twice(), format("-never", 0, {{"xabs", "50"}, {"yabs", "50"}, {"selected", false}}),
                  format("-long", 2, {{"maxeither", "300"}}), format("-abs", 0, {{"xabs", "120"}, {"yabs", "90"}})});
    adopt(large, 600, 400);
    LogCapture log;
    saveTo(path("out/beach.jpg"));
    const std::pair<const char *, QSize> written[] = {
        {"beach.jpg", {600, 400}}, {"beach@2x.jpg", {1200, 800}}, {"beach-long.jpg", {300, 200}}, {"beach-abs.jpg", {120, 90}}};
    for (const auto &[name, size] : written)
        EXPECT_EQ(pixelSize(path("out/") + name), size) << name;
    EXPECT_FALSE(QFile::exists(path("out/beach-never.jpg")));
    EXPECT_EQ(pixelSize(AppPaths::supportFolder() + "/tempImage.jpg"), QSize(120, 90)) << "left with the last output";
    const QStringList lines = log.messages();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith("format selected: {"); }), 3);

    // The 2x format is larger than the 1000 x 800 input; the base only once it is larger on either side.
    const QString formatText = "One or more of the additional formats has a pixel size which is larger than the input image.";
    const QString baseText = "The output size is larger than the input image.";
    for (const auto &[base, flags] : {std::pair{QSize(600, 400), 1}, {QSize(1000, 800), 1}, {QSize(1001, 800), 3}}) {
        SCOPED_TRACE(base.width());
        adopt(large, base.width(), base.height());
        log.clear();
        saveTo(path("out/beach.jpg"));
        EXPECT_EQ(controller->scaledUp, flags);
        EXPECT_EQ(controller->scaledUpWarningField->text(), (flags == 3 ? baseText : formatText) + kUpscaledTail);
        EXPECT_TRUE(controller->scaledUpWarningWindow->isVisible());
        EXPECT_EQ(log.contains("setting 2 bit: size fields are 1001.00 and 800.00, image is 1000.00 and 800.00"), flags == 3);
        controller->closeScaledUpSheet();
        EXPECT_FALSE(controller->scaledUpWarningWindow->isVisible());
    }
    UserDefaults::standard().setBoolForKey(false, PrefKey::warnAboutUpscaling);
    log.clear();
    saveTo(path("out/quiet.jpg"));
    EXPECT_EQ(controller->scaledUp, 0);
    EXPECT_FALSE(controller->scaledUpWarningWindow->isVisible());
    for (const QString &line : log.messages())
        EXPECT_FALSE(line.startsWith("setting 2 bit") || line.startsWith("about to save")) << line.toStdString();
}

TEST_F(SaveTest, LongestSideFollowsTheBaseProportionsAndRelativeSizesMeasureFromTheSourceAt144Dpi)
{
    const QString dense = writePicture("in/dense.png", 2000, 1000, 144);
    storeFormats({format("-half", 1, {{"xratio", "0.5"}, {"yratio", "0.5"}, {"relativeto", 0}}), format("-long", 2, {{"maxeither", "300"}})});
    UserDefaults::standard().setIntegerForKey(1, PrefKey::fileFormat);
    for (const auto &[base, longest] : {std::pair{QSize(400, 600), QSize(200, 300)}, {QSize(500, 500), QSize(300, 300)}}) {
        adopt(dense, base.width(), base.height());
        const QString name = path(QStringLiteral("out/%1.png").arg(base.width()));
        saveTo(name);
        EXPECT_EQ(pixelSize(name), base);
        // Nominal size of a 144 dpi picture of 2000 x 1000 pixels: 1000 x 500 points.
        EXPECT_EQ(pixelSize(QString(name).replace(".png", "-half.png")), QSize(500, 250));
        EXPECT_EQ(pixelSize(QString(name).replace(".png", "-long.png")), longest);
    }
    EXPECT_EQ(controller->scaledUp, 0);
}

TEST_F(SaveTest, SaveIsOfferedOnlyWithAPictureAndBeepsWithoutTouchingAnything)
{
    auto saveItem = [this] {
        for (QAction *item : controller->toolbar->actions())
            if (item->objectName() == "saveItemIdentifier")
                return item;
        return static_cast<QAction *>(nullptr);
    };
    writeBytes(path("keep.jpg"), "precious");
    presenter.choose({path("keep.jpg")});
    controller->doit();
    EXPECT_EQ(presenter.beeps, 1);
    EXPECT_TRUE(presenter.panels.empty());
    EXPECT_EQ(bytesOf(path("keep.jpg")), "precious");

    controller->uiWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->uiWindow));
    for (const bool picture : {false, true}) {
        SCOPED_TRACE(picture ? "with a picture" : "before any picture");
        if (picture)
            adopt(source, 60, 40);
        ASSERT_TRUE(saveItem());
        EXPECT_EQ(saveItem()->isEnabled(), picture);
        EXPECT_EQ(controller->saveMenuItem->isEnabled(), picture);
        presenter.beeps = 0;
        presenter.panels.clear();
        QTest::keySequence(controller->uiWindow, QKeySequence::Save);
        EXPECT_EQ(presenter.beeps, picture ? 0 : 1);
        EXPECT_EQ(presenter.panels.size(), picture ? 1u : 0u);
    }
    // A toolbar the person rearranges offers it too.
    controller->setToolbarItemIdentifiers({"saveItemIdentifier", "openItemIdentifier"});
    EXPECT_TRUE(saveItem()->isEnabled());
}

TEST_F(SaveTest, TheWindowSaysWhatTheSaveWroteAndOpensItsFolder)
{
    storeFormats({twice(), format("@3x", 1, {{"xratio", "3"}, {"yratio", "3"}})});
    adopt(source, 100, 60);
    UrlCatcher desktop;
    saveTo(path("out/photo.jpg"));
    EXPECT_EQ(controller->messageBar->text(), "Saved 3 files to " + path("out"));
    EXPECT_EQ(controller->messageBar->kind(), WindowMessage::Kind::Information);
    controller->messageBar->actionButton()->click();
    EXPECT_EQ(desktop.urls, QList<QUrl>({QUrl::fromLocalFile(path("out"))}));

    // What could not be written is named in the window as in the alert.
    ASSERT_TRUE(QFile::remove(path("out/photo@2x.jpg")) && QDir().mkpath(path("out/photo@2x.jpg")));
    saveTo(path("out/photo.jpg"));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(controller->messageBar->text(), "Saved 2 files to " + path("out") + "\n\n" + presenter.alerts[0].message);
    EXPECT_EQ(controller->messageBar->kind(), WindowMessage::Kind::Warning);
    controller->messageBar->closeButton()->click();
    EXPECT_TRUE(controller->messageBar->isHidden());
}

TEST_F(SaveTest, AnExistingOutputIsReplacedOnlyByAFinishedOutput)
{
    storeFormats({twice()});
    const QStringList olds = {path("out/shot.jpg"), path("out/shot@2x.jpg")};
    for (const QString &name : olds)
        writeBytes(name, "old output");
    // A size of 0 makes no output: both old files stay as they were.
    adopt(source, 0, 0);
    saveTo(olds[0]);
    for (const QString &name : olds)
        EXPECT_EQ(bytesOf(name), "old output") << name.toStdString();
    // A real conversion replaces them, leaving nothing else in the folder.
    adopt(source, 150, 100);
    saveTo(olds[0]);
    EXPECT_EQ(pixelSize(olds[0]), QSize(150, 100));
    EXPECT_EQ(pixelSize(olds[1]), QSize(300, 200));
    EXPECT_EQ(entriesOf(path("out")), QStringList({"shot.jpg", "shot@2x.jpg"}));
}

TEST_F(SaveTest, AModifierWithAPathSeparatorIsSkippedAndNamedInTheLogAndTheAlert)
{
    storeFormats({format("/../escape", 0, {{"xabs", "20"}, {"yabs", "20"}}), format("-ok", 0, {{"xabs", "30"}, {"yabs", "20"}})});
    adopt(source, 60, 40);
    LogCapture log;
    saveTo(path("out/deep/pic.jpg"));
    EXPECT_FALSE(QFile::exists(path("out/deep/pic/../escape.jpg")));
    EXPECT_EQ(filesIn("out"), QStringList());
    EXPECT_EQ(pixelSize(path("out/deep/pic-ok.jpg")), QSize(30, 20));
    const QString skipped = "skipping format with modifier /../escape: it would write outside the folder of " + path("out/deep/pic.jpg");
    EXPECT_TRUE(log.contains(skipped));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_TRUE(presenter.alerts[0].message.endsWith("\n\n" + skipped)) << presenter.alerts[0].message.toStdString();
}

TEST_F(SaveTest, TheSavePanelOffersTheTypesOfTheOutputTypeAndACancelWritesNothing)
{
    adopt(source, 60, 40);
    for (const auto &[type, types] : std::vector<std::pair<int, QStringList>>{{0, {"jpg", "jpeg"}}, {1, {"png"}}, {2, {"tiff", "tif"}}}) {
        UserDefaults::standard().setIntegerForKey(type, PrefKey::fileFormat);
        controller->doit(); // cancelled
        ASSERT_FALSE(presenter.panels.empty());
        EXPECT_EQ(presenter.panels.back().allowedFileTypes, types);
        EXPECT_FALSE(presenter.panels.back().allowsOtherFileTypes);
    }
    EXPECT_EQ(filesIn("out"), QStringList());
    LogCapture log;
    presenter.answers.push_back({1, {}});
    controller->doit();
    EXPECT_TRUE(log.contains("no filename"));
}

// Whatever stands at an output path, the output replaces the entry itself: a link is
// replaced, never followed, and a file someone made read-only is kept and named in the alert.
TEST_F(SaveTest, LinksAtOutputPathsAreReplacedAndAReadOnlyFileIsKept)
{
    storeFormats({format("@2x", 0, {{"xabs", "20"}, {"yabs", "20"}}), format("@3x", 0, {{"xabs", "30"}, {"yabs", "20"}}),
                  format("-ro", 0, {{"xabs", "40"}, {"yabs", "20"}})});
    QDir().mkpath(path("folder"));
    writeBytes(path("victim.txt"), "victim");
    writeBytes(path("out/pic-ro.jpg"), "kept");
    ASSERT_TRUE(QFile::setPermissions(path("out/pic-ro.jpg"), QFile::ReadOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link("../victim.txt", path("out/pic.jpg")));
    ASSERT_TRUE(QFile::link("../nowhere.jpg", path("out/pic@2x.jpg")));
    ASSERT_TRUE(QFile::link("../folder", path("out/pic@3x.jpg")));
    adopt(source, 60, 40);
    saveTo(path("out/pic.jpg"));

    EXPECT_EQ(bytesOf(path("victim.txt")), "victim");
    EXPECT_FALSE(QFileInfo::exists(path("nowhere.jpg")));
    EXPECT_TRUE(QDir(path("folder")).isEmpty());
    const std::pair<const char *, QSize> written[] = {{"out/pic.jpg", {60, 40}}, {"out/pic@2x.jpg", {20, 20}}, {"out/pic@3x.jpg", {30, 20}}};
    for (const auto &[name, size] : written) {
        EXPECT_FALSE(QFileInfo(path(name)).isSymLink()) << name;
        EXPECT_EQ(pixelSize(path(name)), size) << name;
    }
    EXPECT_EQ(bytesOf(path("out/pic-ro.jpg")), "kept");
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].message,
              QStringLiteral("This file could not be saved in %1:\n\npic-ro.jpg is read-only and was left as it was").arg(path("out")));
    EXPECT_EQ(entriesOf(path("out")).size(), 4);
}

TEST_F(SaveTest, OutputsTheEngineRefusesAreListedInOneAlertBeforeTheUpscalingWarning)
{
    storeFormats({twice(), format("-small", 0, {{"xabs", "30"}, {"yabs", "20"}})});
    adopt(source, 100000, 100000);
    LogCapture log;
    saveTo(path("out/huge.jpg"));
    EXPECT_EQ(filesIn("out"), QStringList({"huge-small.jpg"}));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, "Files Not Saved");
    EXPECT_EQ(presenter.alerts[0].message, QStringLiteral("These 2 files could not be saved in %1:\n\n"
                                                          "huge.jpg could not be made at 100000 x 100000 pixels\n"
                                                          "huge@2x.jpg could not be made at 200000 x 200000 pixels")
                                               .arg(path("out")));
    EXPECT_EQ(presenter.alerts[0].defaultButton, "OK");
    EXPECT_TRUE(log.contains(path("out/huge.jpg") + " could not be made at 100000 x 100000 pixels"));
    EXPECT_TRUE(controller->scaledUpWarningWindow->isVisible());

    // The next save starts with an empty list.
    controller->closeScaledUpSheet();
    adopt(source, 60, 40);
    saveTo(path("out/fine.jpg"));
    EXPECT_EQ(presenter.alerts.size(), 1u);
    EXPECT_TRUE(controller->unwrittenOutputs.empty());
}

TEST_F(SaveTest, TheBudgetHoldsForTheBaseAndEachFormatAndWhatCannotFitIsListed)
{
    storeFormats({twice(), format("-huge", 0, {{"xabs", "2400"}, {"yabs", "1600"}})});
    controller->fileSizeBudgetField->setValue(4); // stores it
    controller->fileSizeBudgetCheckBox->click();
    adopt(writePicture("in/large.png", 1000, 800), 300, 200);
    LogCapture log;
    saveTo(path("out/beach.jpg"));

    for (const char *name : {"out/beach.jpg", "out/beach@2x.jpg"})
        EXPECT_LE(QFileInfo(path(name)).size(), 4000) << name;
    const qint64 huge = QFileInfo(path("out/beach-huge.jpg")).size();
    EXPECT_GT(huge, 4000);
    EXPECT_EQ(pixelSize(path("out/beach-huge.jpg")), QSize(2400, 1600)); // written all the same
    const QString reason = FileSizeBudget::overBudgetReason(huge, 4000, 0);
    EXPECT_TRUE(log.contains(path("out/beach-huge.jpg") + " " + reason));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, "Files Over Budget");
    EXPECT_EQ(presenter.alerts[0].message,
              QStringLiteral("This file in %1 was saved larger than the budget:\n\nbeach-huge.jpg %2").arg(path("out"), reason));
    // The slider showed the quality the budget allowed; the person's own stays stored.
    EXPECT_LT(controller->qualitySlider->floatValue(), 98.0f);
    EXPECT_EQ(UserDefaults::standard().floatForKey(PrefKey::qualityValue), kFirstRunQuality);
}

TEST_F(SaveTest, TheWrittenNameCarriesTheExtensionOfTheOutputType)
{
    storeFormats({twice()});
    adopt(source, 60, 40);
    LogCapture log;
    saveTo(path("out/wrongext.png"));
    EXPECT_EQ(filesIn("out"), QStringList({"wrongext.jpg", "wrongext@2x.jpg"}));
    EXPECT_EQ(QImageReader(path("out/wrongext.jpg")).format(), "jpeg");
    EXPECT_TRUE(log.contains(path("out/wrongext.png") + " is saved as " + path("out/wrongext.jpg") + ", with the extension of the output type"));
}

TEST_F(SaveTest, SavePanelsOpenBesideThePictureWithItsNameOrWhereTheLastSaveWent)
{
    const QString other = writePicture("in/other.png", 200, 300);
    UserDefaults &defaults = UserDefaults::standard();
    auto lastPanel = [this] { return presenter.panels.back(); };
    adopt(source, 60, 40);
    saveTo(path("out/first.jpg"));
    EXPECT_EQ(lastPanel().directory, path("in"));
    EXPECT_EQ(lastPanel().suggestedName, "photo.jpg");
    EXPECT_EQ(defaults.stringForKey(PrefKey::lastSaveFolder), path("out"));

    // Cancelled, with png chosen: the name follows the type, but never offers the picture's
    // own file; the stored folder stays.
    defaults.setIntegerForKey(1, PrefKey::fileFormat);
    controller->doit();
    EXPECT_EQ(lastPanel().suggestedName, "photo-60px.png");
    EXPECT_EQ(defaults.stringForKey(PrefKey::lastSaveFolder), path("out"));

    // A picture without a file opens where the last save went.
    QImage pasted(40, 30, QImage::Format_RGB32);
    pasted.fill(Qt::darkGreen);
    controller->singleImageProvided(Picture::fromQImage(pasted));
    controller->doit();
    EXPECT_EQ(lastPanel().directory, path("out"));
    EXPECT_EQ(lastPanel().suggestedName, "Pasted picture.png");

    // A batch's folder panel opens at the last folder; once that is gone, beside the first picture.
    controller->multipleImagesProvided({other, source});
    controller->doit();
    EXPECT_EQ(lastPanel().directory, path("out"));
    QDir(path("out")).removeRecursively();
    defaults.setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
    QDir().mkpath(path("batch"));
    presenter.choose({path("batch")});
    controller->doit();
    controller->waitForBatch();
    EXPECT_EQ(lastPanel().directory, path("in"));
    EXPECT_EQ(defaults.stringForKey(PrefKey::lastSaveFolder), path("batch"));
    EXPECT_TRUE(QFile::exists(path("batch/photo.png")));
}

// The real save panel: it opens in the folder and with the name given, which Return takes; a
// name typed with another type's extension is corrected before the panel takes it, so
// replacing an existing file is asked about under the name written.
TEST_F(SaveTest, TheRealSavePanelOffersTheNameGivenAndCorrectsATypedName)
{
    QDir().mkpath(path("out"));
    FileDialogPresenter panels(controller->uiWindow);
    FilePanel panel;
    panel.allowedFileTypes = {"jpg", "jpeg"};
    panel.directory = path("out");
    panel.suggestedName = "photo.jpg";
    // Types the name (if any) into the panel's name field and presses Return, or the Save button.
    QString shownFolder, shownName;
    auto typeAndSave = [&](const QString &name, bool pressReturn, std::function<void()> whenAsked) {
        QTimer::singleShot(0, [&, name, pressReturn, whenAsked] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            dialog->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
            shownFolder = dialog->directory().canonicalPath();
            auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            ASSERT_TRUE(field); // the name field, as the person finds it
            shownName = field->text();
            if (!name.isEmpty())
                field->setText(name);
            if (whenAsked)
                QTimer::singleShot(0, whenAsked);
            if (pressReturn) {
                QTest::keyClick(field, Qt::Key_Return);
            } else {
                QDialogButtonBox *buttons = dialog->findChild<QDialogButtonBox *>();
                ASSERT_TRUE(buttons && buttons->button(QDialogButtonBox::Save));
                buttons->button(QDialogButtonBox::Save)->click();
            }
            if (dialog->isVisible())
                dialog->reject();
        });
        return panels.runSavePanel(panel);
    };
    FilePanelResult result = typeAndSave("", true, nullptr);
    EXPECT_EQ(shownFolder, QDir(path("out")).canonicalPath());
    EXPECT_EQ(shownName, "photo.jpg");
    ASSERT_EQ(result.urls.size(), 1);
    EXPECT_EQ(QDir(QFileInfo(result.urls.first().toLocalFile()).absolutePath()).canonicalPath(), QDir(path("out")).canonicalPath());
    EXPECT_EQ(result.urls.first().fileName(), "photo.jpg");

    for (const bool pressReturn : {true, false}) {
        SCOPED_TRACE(pressReturn ? "Return" : "the Save button");
        QFile::remove(path("out/wrongext.jpg"));
        result = typeAndSave(pressReturn ? path("out/wrongext.png") : "wrongext.png", pressReturn, nullptr);
        ASSERT_EQ(result.returnCode, 1);
        EXPECT_EQ(result.urls, QList<QUrl>({QUrl::fromLocalFile(path("out/wrongext.jpg"))}));

        writeBytes(path("out/wrongext.jpg"), "");
        QString question;
        result = typeAndSave("wrongext.png", pressReturn, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            question = box->text();
            box->button(QMessageBox::No)->click();
        });
        EXPECT_TRUE(question.contains("wrongext.jpg")) << question.toStdString();
        EXPECT_EQ(result.returnCode, 0);
    }
}

} // namespace
