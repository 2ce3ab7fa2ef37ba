#include "WindowTestSupport.h"

#include "CommandLineIntake.h"
#include "NotificationCenter.h"
#include "QuillpaneVersion.h"

using StartupTest = WindowTest;

// A preferences file of valid JSON can hold anything under a key (an edited file, another
// version): each control reads within its own range and a given picture is still shown.
TEST_F(StartupTest, StoredValuesOfAnyTypeShowUsableControlsAndTheGivenPicture)
{
    QImage given(300, 200, QImage::Format_RGB888);
    given.fill(Qt::darkCyan);
    const QString picturePath = folder.filePath(QStringLiteral("given.png"));
    ASSERT_TRUE(given.save(picturePath));
    // One row per kind of unusable value; the fuzzers replay arbitrary ones for crashes.
    const struct {
        const char *file;
        int fileType;
        float quality;
        bool lock;
        QString logged; // a line naming the unusable value, or nothing
        int budget = 100;
    } cases[] = {
        {R"({"outputWidth": "abc", "fileFormat": "x", "constrain": "no"})", 0, 98.3736f, false,
         R"(The stored outputWidth "abc" is not a number of pixels; the field shows 125)"},
        {R"({"outputHeight": "-5", "fileFormat": 9, "qualityValue": 500})", 0, 100.0f, true,
         "The stored fileFormat 9 is not an output type; using JPEG"},
        // The newest type is kept, not taken for an unknown value.
        {R"({"fileFormat": 4, "fileSizeBudget": "40"})", 4, 98.3736f, true, "", 40},
        {R"({"fileFormat": [2], "qualityValue": "abc", "keepFilesUnderBudget": true, "fileSizeBudget": 1e12})", 0, 0.0f,
         true, "The stored fileSizeBudget 1e+12 is not a number of kB from 1 to 1000000; the field shows 100"},
    };
    int index = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const QString file = folder.filePath(QStringLiteral("case%1.json").arg(++index));
        replaceFileContents(file, c.file);
        UserDefaults::setStandardFilePath(file);
        fresh();
        LogCapture log;
        launch();
        EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("125"));
        EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("125"));
        EXPECT_EQ(selectedTag(controller->fileFormatButton), c.fileType);
        EXPECT_EQ(controller->fileSizeBudgetField->value(), c.budget);
        EXPECT_EQ(controller->qualitySlider->floatValue(), c.quality);
        EXPECT_EQ(controller->constrain->isChecked(), c.lock);
        EXPECT_TRUE(c.logged.isEmpty() || log.contains(c.logged)) << log.messages().join('\n').toStdString();

        openCommandLinePaths(*controller, {picturePath});
        EXPECT_FALSE(controller->imageWell->property("namedImage").isValid()) << "the placeholder is still shown";
    }
}

TEST_F(StartupTest, SupportFolderIsMadeAndOldTempFilesGo)
{
    ASSERT_FALSE(QFileInfo::exists(AppPaths::supportFolder()));
    controller->awakeFromNib();
    replaceFileContents(tempPreviewPath(4), "old");
    // A "file" that cannot be removed: a folder with something in it.
    ASSERT_TRUE(QDir(AppPaths::supportFolder()).mkpath(QStringLiteral("tempImage.jpg/inside")));
    fresh();
    LogCapture log;
    controller->awakeFromNib();
    EXPECT_FALSE(QFileInfo::exists(tempPreviewPath(4)));
    EXPECT_TRUE(log.contains(QStringLiteral("unable to remove  temp file ") + tempPreviewPath(0)));
    QDir(tempPreviewPath(0)).removeRecursively();
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
    EXPECT_EQ(controller->exposureSlider->floatValue(), 0.5f); // what the record holds is PreferencesTest's
}

TEST_F(StartupTest, PreferencesWindowShowsAndStoresTheFourPreferences)
{
    launch();
    defaults.setIntegerForKey(2, PrefKey::resetSliders);
    controller->openPrefs();
    EXPECT_EQ(selectedTag(controller->resetSlidersPopUp), 2);
    for (const auto &[box, key] : {std::pair{controller->makeDirectoryForBatchCheckBox, PrefKey::makeDirectoryForBatch},
                                   std::pair{controller->retinaDisplayCheckBox, PrefKey::retinaDisplay},
                                   std::pair{controller->warnAboutUpscalingCheckBox, PrefKey::warnAboutUpscaling}}) {
        const bool was = defaults.boolForKey(key);
        EXPECT_EQ(box->isChecked(), was) << key.toStdString();
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(defaults.boolForKey(key), !was) << key.toStdString();
    }
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

TEST_F(StartupTest, AboutNamesTheVersion)
{
    launch(true);
    for (QAction *item : controller->helpMenu->actions())
        if (item->text() == QStringLiteral("&About Quillpane"))
            item->trigger(); // returns: the box is window-modal, not a nested event loop
    auto *box = controller->uiWindow->findChild<QMessageBox *>(QStringLiteral("about"));
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Quillpane ") + QLatin1String(quillpaneVersion));
}
