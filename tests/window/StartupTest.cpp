#include "WindowTestSupport.h"

#include "CommandLineIntake.h"
#include "Manual.h"
#include "NotificationCenter.h"
#include "QuillpaneVersion.h"

#include <QMenu>
#include <QMessageBox>
#include <QSpinBox>

using StartupTest = WindowTest;

TEST_F(StartupTest, ControlsReadTheStoreOnlyAfterTheFirstRunValues)
{
    EXPECT_FALSE(defaults.hasObjectForKey(PrefKey::outputWidth)); // building the window writes nothing
    EXPECT_TRUE(controller->sizeFieldW->text().isEmpty());
    controller->awakeFromNib();
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("125"));
    EXPECT_EQ(double(controller->qualitySlider->floatValue()), 98.37359619140625);
    EXPECT_EQ(controller->sharpenSlider->floatValue(), 0.24f);
    EXPECT_TRUE(controller->constrainMenuItem->isChecked());
    EXPECT_FALSE(controller->imageWell->image().isNull()); // the drop placeholder
}

// A preferences file of valid JSON can hold anything under a key (an edited file, another
// version): each control reads within its own range and a given picture is still shown.
TEST_F(StartupTest, StoredValuesOfAnyTypeShowUsableControlsAndTheGivenPicture)
{
    QImage given(300, 200, QImage::Format_RGB888);
    given.fill(Qt::darkCyan);
    const QString picturePath = folder.filePath(QStringLiteral("given.png"));
    ASSERT_TRUE(given.save(picturePath));
    const struct {
        const char *file;
        QString width, height;
        int fileType;
        float quality;
        bool lock;
        QString logged; // a line naming the unusable value, or nothing
        bool qualityEnabled = fileType == 0;
        int budget = 100;
    } cases[] = {
        {R"({"outputWidth": "abc", "fileFormat": "x"})", "125", "125", 0, 98.3736f, true,
         R"(The stored outputWidth "abc" is not a number of pixels; the field shows 125)"},
        {R"({"outputWidth": "", "outputHeight": "-5", "constrain": "no"})", "125", "125", 0, 98.3736f, false,
         R"(The stored outputHeight "-5" is not a number of pixels; the field shows 125)"},
        {R"({"outputWidth": "1,234", "outputHeight": 640.7, "fileFormat": "1"})", "1234", "640", 1, 98.3736f, true, ""},
        {R"({"fileFormat": 9, "qualityValue": "abc"})", "125", "125", 0, 0.0f, true,
         "The stored fileFormat 9 is not an output type; using JPEG"},
        {R"({"fileFormat": [2], "qualityValue": 500, "constrain": "yes", "outputWidth": {"px": 1}})", "125", "125", 0,
         100.0f, true, "The stored qualityValue 500 lies outside 0 to 100; the slider shows 100"},
        {R"({"fileSizeBudget": "40"})", "125", "125", 0, 98.3736f, true, "", true, 40},
        {R"({"keepFilesUnderBudget": true, "fileSizeBudget": 0})", "125", "125", 0, 98.3736f, true,
         "The stored fileSizeBudget 0 is not a number of kB from 1 to 1000000; the field shows 100", false},
    };
    int index = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const QString file = folder.filePath(QStringLiteral("case%1.json").arg(++index));
        QFile json(file);
        ASSERT_TRUE(json.open(QIODevice::WriteOnly));
        json.write(c.file);
        json.close();
        UserDefaults::setStandardFilePath(file);
        fresh();
        LogCapture log;
        launch();
        EXPECT_EQ(controller->sizeFieldW->text(), c.width);
        EXPECT_EQ(controller->sizeFieldH->text(), c.height);
        EXPECT_EQ(selectedTag(controller->fileFormatButton), c.fileType);
        EXPECT_EQ(UserDefaults::standard().integerForKey(PrefKey::fileFormat), c.fileType);
        EXPECT_EQ(controller->qualitySlider->isEnabled(), c.qualityEnabled);
        EXPECT_EQ(controller->fileSizeBudgetField->value(), c.budget);
        EXPECT_EQ(controller->qualitySlider->floatValue(), c.quality);
        EXPECT_EQ(controller->constrain->isChecked(), c.lock);
        EXPECT_TRUE(c.logged.isEmpty() || log.contains(c.logged)) << log.messages().join('\n').toStdString();

        openCommandLinePaths(*controller, {picturePath});
        EXPECT_EQ(controller->inputImage ? controller->inputImage->sourcePixelSize() : QSize(), QSize(300, 200));
        EXPECT_FALSE(controller->imageWell->property("namedImage").isValid()) << "the placeholder is still shown";
        EXPECT_FALSE(controller->tfFileSize->text().isEmpty());
    }
}

TEST_F(StartupTest, SupportFolderIsMadeAndOldTempFilesGo)
{
    const QString support = AppPaths::supportFolder();
    ASSERT_FALSE(QFileInfo::exists(support));
    controller->awakeFromNib();
    EXPECT_TRUE(QFileInfo(support).isDir());
    for (const int type : {1, 3, 4}) {
        QFile old(tempPreviewPath(type));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly)) << type;
    }
    // A "file" that cannot be removed: a folder with something in it.
    ASSERT_TRUE(QDir(support).mkpath(QStringLiteral("tempImage.jpg/inside")));
    fresh();
    LogCapture log;
    controller->awakeFromNib();
    for (const int type : {1, 3, 4})
        EXPECT_FALSE(QFileInfo::exists(tempPreviewPath(type))) << type;
    EXPECT_TRUE(log.contains(QStringLiteral("unable to remove  temp file ") + tempPreviewPath(0)));
    QDir(tempPreviewPath(0)).removeRecursively();
}

TEST_F(StartupTest, LaunchShowsTheStoredFileTypeAndCropMode)
{
    for (const int type : {3, 4, 1}) { // the newer types are kept, not taken for unknown values
        fresh();
        defaults.setIntegerForKey(type, PrefKey::fileFormat);
        defaults.setBoolForKey(false, PrefKey::constrain);
        launch();
        EXPECT_EQ(selectedTag(controller->fileFormatButton), type);
        EXPECT_EQ(defaults.integerForKey(PrefKey::fileFormat), type);
        EXPECT_EQ(controller->qualitySlider->isEnabled(), type != 1) << type;
    }
    EXPECT_TRUE(controller->fillColourButton->isHidden()); // crop mode in the layout
    EXPECT_EQ(controller->selectedTabIdentifier(), QStringLiteral("0"));
    controller->showAdjustmentsWindow();
    EXPECT_EQ(controller->selectedTabIdentifier(), QStringLiteral("2"));
    EXPECT_FALSE(controller->selectTabWithIdentifier(QStringLiteral("9")));
    EXPECT_EQ(controller->selectedTabIdentifier(), QStringLiteral("2"));
}

TEST_F(StartupTest, LaunchResetsTheAdjustmentsOnlyWhenAsked)
{
    defaults.setIntegerForKey(0, PrefKey::resetSliders);
    launch();
    EXPECT_EQ(controller->exposureSlider->floatValue(), 0.0f); // the layout's position

    fresh();
    defaults.setIntegerForKey(1, PrefKey::resetSliders);
    // An older record: its "brightness" was the exposure; the repair runs before the reset.
    defaults.setObjectForKey(QVariantMap{{AdjustmentKey::brightness, 0.5f}}, PrefKey::adjustmentDefaults);
    launch();
    EXPECT_EQ(controller->exposureSlider->floatValue(), 0.5f);
    EXPECT_EQ(controller->brightnessSlider->floatValue(), 0.0f);
    EXPECT_EQ(controller->temperatureSlider->floatValue(), 12.68f);
}

TEST_F(StartupTest, HighDensityScreenLeavesRetinaDisplayAbsent)
{
    screenScale = 2.0;
    launch();
    EXPECT_FALSE(defaults.hasObjectForKey(PrefKey::retinaDisplay));
}

TEST_F(StartupTest, PreferencesWindowShowsAndStoresTheFourPreferences)
{
    launch();
    defaults.setIntegerForKey(2, PrefKey::resetSliders);
    controller->openPrefs();
    EXPECT_TRUE(controller->prefsWindow->isVisible());
    EXPECT_EQ(selectedTag(controller->resetSlidersPopUp), 2);
    const std::pair<QCheckBox *, QString> boxes[] = {
        {controller->makeDirectoryForBatchCheckBox, PrefKey::makeDirectoryForBatch},
        {controller->retinaDisplayCheckBox, PrefKey::retinaDisplay},
        {controller->warnAboutUpscalingCheckBox, PrefKey::warnAboutUpscaling}};
    for (const auto &[box, key] : boxes) {
        EXPECT_EQ(box->isChecked(), defaults.boolForKey(key)) << key.toStdString();
        const bool was = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(defaults.boolForKey(key), !was) << key.toStdString();
    }
    EXPECT_EQ(defaults.objectForKey(PrefKey::makeDirectoryForBatch), QVariant(qint64(0))); // stays a number
    controller->resetSlidersPopUp->setFocus();
    QTest::keyClick(controller->resetSlidersPopUp, Qt::Key_Home);
    EXPECT_EQ(defaults.objectForKey(PrefKey::resetSliders), QVariant(qint64(0)));
}

// An observer left behind by a closed window would be called on freed memory.
TEST_F(StartupTest, StartUpObservesTheImageWellsNotificationsForItsLifetime)
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    for (const QString &name : {Notification::imageDropped, Notification::imagePasted}) {
        fresh();
        const qsizetype before = center.observerCount(name);
        controller->awakeFromNib();
        EXPECT_EQ(center.observerCount(name), before + 1);
        controller.reset();
        EXPECT_EQ(center.observerCount(name), before);
    }
}

TEST_F(StartupTest, HelpButtonsShowTheirControlsHints)
{
    launch();
    controller->uiWindow->show();
    const std::pair<QToolButton *, const char *> buttons[] = {
        {controller->baseFormatHelpButton, "Base format"},       {controller->resizeModeHelpButton, "Resize mode"},
        {controller->outputFormatHelpButton, "Output format"},   {controller->qualityHelpButton, "Quality slider"},
        {controller->sharpeningHelpButton, "Sharpen slider"}};
    for (const auto &[button, topic] : buttons) {
        button->click();
        EXPECT_EQ(controller->manual->context(), QString::fromLatin1(topic));
        ASSERT_NE(controller->manual->hintPopover(), nullptr);
        EXPECT_TRUE(controller->manual->hintPopover()->isVisible());
        controller->manual->closePopover();
    }
}

TEST_F(StartupTest, WindowShowsTheMarkAndTheAboutBoxTheVersion)
{
    // Opaque inside the mark, clear in the corner it leaves empty: the SVG is there and drawn.
    const QImage mark = controller->uiWindow->windowIcon().pixmap(64, 64).toImage();
    ASSERT_EQ(mark.size(), QSize(64, 64));
    EXPECT_EQ(mark.pixelColor(20, 20).alpha(), 255);
    EXPECT_EQ(mark.pixelColor(2, 62).alpha(), 0);

    QAction *about = nullptr;
    for (QAction *item : controller->helpMenu->actions())
        if (item->text() == QStringLiteral("&About Quillpane"))
            about = item;
    ASSERT_NE(about, nullptr);
    about->trigger(); // returns: the box is window-modal, not a nested event loop
    auto *box = controller->uiWindow->findChild<QMessageBox *>(QStringLiteral("about"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Quillpane ") + QLatin1String(quillpaneVersion));
    EXPECT_FALSE(QString::fromLatin1(quillpaneVersion).isEmpty());
    box->accept();
}
