#include "WindowTestSupport.h"

#include <QClipboard>
#include <QSpinBox>
#include <QTemporaryDir>

#include <functional>
#include <limits>

class DispatcherTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
        controller->uiWindow->show();
    }
    void chooseFileType(int tag)
    {
        selectItemWithTag(controller->fileFormatButton, tag);
        defaults.setIntegerForKey(tag, PrefKey::fileFormat);
        controller->handleControl(controller->fileFormatButton);
    }
    QString stored(const QString &key) const { return defaults.stringForKey(key); }
};

TEST_F(DispatcherTest, LockedSizeCleansTheTextAndRoundsTheOtherSideHalvesAway)
{
    adopt(picture(300, 200));
    ASSERT_FLOAT_EQ(controller->aspectRatio, 1.5f);
    const struct {
        bool width;
        const char *typed, *w, *h;
    } cases[] = {
        {true, "1,000", "1000", "667"}, {false, "333", "500", "333"}, {false, "1,001", "1502", "1001"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        typeInto(c.width ? controller->sizeFieldW : controller->sizeFieldH, QString::fromLatin1(c.typed));
        EXPECT_EQ(controller->sizeFieldW->text(), c.w);
        EXPECT_EQ(controller->sizeFieldH->text(), c.h);
        EXPECT_EQ(stored(PrefKey::outputWidth), c.w);
        EXPECT_EQ(stored(PrefKey::outputHeight), c.h);
    }
}

// With the lock off nothing recomputes or cleans a field, so the field itself must hold
// whole pixels whichever way the text arrives, and every reader must see that number.
TEST_F(DispatcherTest, SizeFieldsTakeWholePixelsByEveryRoad)
{
    adopt(picture(300, 200));
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    const QString height = controller->sizeFieldH->text();
    const struct {
        const char *text;
        bool pasted;
        const char *shown;
    } cases[] = {
        {"1,234", false, "1234"},         {"12.5", false, "125"}, // the point is refused
        {"-8px0", false, "80"},           {"123456789012", false, "1234567890"},
        {"2,048", true, "2048"},          {" 1 600\n", true, "1600"},
        {"12.5", true, "700"},            {"wide", true, "700"}, // refused whole
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.pasted ? "pasted " : "typed ") + c.text);
        typeInto(controller->sizeFieldW, QStringLiteral("700"));
        if (c.pasted) {
            QApplication::clipboard()->setText(QString::fromLatin1(c.text));
            controller->sizeFieldW->selectAll();
            QTest::keyClick(controller->sizeFieldW, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(controller->sizeFieldW, Qt::Key_Return);
        } else {
            typeInto(controller->sizeFieldW, QString::fromLatin1(c.text));
        }
        EXPECT_EQ(controller->sizeFieldW->text(), c.shown);
        EXPECT_EQ(stored(PrefKey::outputWidth), c.shown);
        EXPECT_EQ(controller->previewSettings().value(QStringLiteral("xabs")).toFloat(), QString(c.shown).toFloat());
        EXPECT_EQ(controller->sizeFieldH->text(), height);
    }
    // Turning the lock on again recomputes the height, held within 32 bits.
    typeInto(controller->sizeFieldW, QStringLiteral("9999999999"));
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    EXPECT_EQ(controller->sizeFieldH->text(), QString::number(std::numeric_limits<qint32>::max()));
}

// Whichever road changes the proportion lock, the button, its menu item, the indicator,
// the crop controls and the stored "constrain" tell the same story.
TEST_F(DispatcherTest, EveryRoadToTheLockLeavesOneState)
{
    using Act = std::function<void(ShrinkerController &)>;
    const Act nothing = [](ShrinkerController &) {};
    const Act button = [](ShrinkerController &c) { QTest::mouseClick(c.constrain, Qt::LeftButton); };
    const Act menuItem = [](ShrinkerController &c) { c.constrainMenuItem->trigger(); };
    const Act shortcut = [](ShrinkerController &c) {
        c.uiWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(c.uiWindow));
        QTest::keyClick(c.uiWindow, Qt::Key_L, Qt::ControlModifier);
    };
    const Act actualButton = [](ShrinkerController &c) { QTest::mouseClick(c.actualButton, Qt::LeftButton); };
    const Act actualMenuItem = [](ShrinkerController &c) { c.actualMenuItem->trigger(); };
    const struct {
        const char *name;
        QVariant stored; // "constrain" in the preferences at start-up
        Act act;
        bool on;
    } roads[] = {
        {"start-up, stored on", true, nothing, true},
        {"start-up, stored as the text \"no\"", QStringLiteral("no"), nothing, false},
        {"button, on to off", true, button, false},
        {"button, off to on", false, button, true},
        {"menu item, off to on", false, menuItem, true},
        {"menu shortcut, on to off", true, shortcut, false},
        {"Actual Size button, from off", false, actualButton, true},
        {"Actual Size menu item, from off", false, actualMenuItem, true},
    };
    for (const auto &road : roads) {
        SCOPED_TRACE(road.name);
        fresh();
        defaults.setObjectForKey(road.stored, PrefKey::constrain);
        launch();
        controller->uiWindow->show();
        adopt(picture(300, 200));
        road.act(*controller);
        EXPECT_EQ(controller->constrain->isChecked(), road.on);
        EXPECT_EQ(controller->constrainMenuItem->isChecked(), road.on);
        EXPECT_EQ(controller->constrainIndicator->isHidden(), !road.on);
        EXPECT_EQ(controller->cropControls->isHidden(), road.on);
        EXPECT_EQ(defaults.boolForKey(PrefKey::constrain), road.on);
    }
}

TEST_F(DispatcherTest, FileTypeSetsQualityAndFilterSetsIntensity)
{
    QComboBox *fileType = controller->fileFormatButton;
    fileType->setFocus();
    const std::pair<const char *, bool> types[] = {{"PNG", false}, {"TIFF", false}, {"WebP", true}, {"AVIF", true}};
    for (const auto &[title, quality] : types) {
        QTest::keyClick(fileType, Qt::Key_Down);
        EXPECT_EQ(fileType->currentText(), title);
        EXPECT_EQ(defaults.objectForKey(PrefKey::fileFormat), QVariant(qint64(selectedTag(fileType)))) << title;
        EXPECT_EQ(controller->qualitySlider->isEnabled(), quality) << title;
    }
    QTest::keyClick(fileType, Qt::Key_Home); // jpeg
    EXPECT_EQ(defaults.integerForKey(PrefKey::fileFormat), 0);
    EXPECT_TRUE(controller->qualitySlider->isEnabled());

    QComboBox *filter = controller->filterPopUp;
    filter->setFocus();
    const bool intensity[] = {false, false, true, true, false}; // none, tonal, sepia, posterize, chrome
    for (int tag = 1; tag <= 4; ++tag) {
        QTest::keyClick(filter, Qt::Key_Down);
        ASSERT_EQ(selectedTag(filter), tag);
        EXPECT_EQ(controller->filterIntensity->isEnabled(), intensity[tag]) << "tag " << tag;
    }
}

TEST_F(DispatcherTest, WithABudgetTheSliderShowsTheQualityThatFits)
{
    EXPECT_FALSE(controller->fileSizeBudgetField->isEnabled()); // off at first run
    // Grain, so that the file's size follows the quality.
    QImage grain(400, 300, QImage::Format_RGB888);
    uint32_t state = 3;
    for (int y = 0; y < 300; ++y)
        for (uchar *p = grain.scanLine(y), *end = p + 1200; p < end; ++p)
            *p = uchar((state = state * 1664525u + 1013904223u) >> 24);
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    typeInto(controller->sizeFieldW, QStringLiteral("200"));
    typeInto(controller->sizeFieldH, QStringLiteral("150"));
    adopt(Picture::fromQImage(grain));
    const float own = controller->qualitySlider->floatValue();

    QSpinBox *field = controller->fileSizeBudgetField;
    QTest::mouseClick(controller->fileSizeBudgetCheckBox, Qt::LeftButton);
    EXPECT_TRUE(defaults.boolForKey(PrefKey::keepFilesUnderBudget));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("20"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(defaults.integerForKey(PrefKey::fileSizeBudget), 20);
    for (const int t : {0, 3, 4}) {
        chooseFileType(t);
        const qint64 size = QFileInfo(tempPreviewPath(t)).size();
        EXPECT_LE(size, 20000) << "type " << t;
        EXPECT_GT(size, 10000) << "type " << t; // the highest quality that fits, not just any
        EXPECT_FALSE(controller->qualitySlider->isEnabled()) << "type " << t;
        EXPECT_LT(controller->qualitySlider->floatValue(), own) << "type " << t;
        EXPECT_EQ(defaults.floatForKey(PrefKey::qualityValue), own) << "type " << t;
    }
    // Lossless, the budget cannot be met: the slider is the person's again, the label says why.
    chooseFileType(1);
    EXPECT_EQ(controller->qualitySlider->floatValue(), own);
    EXPECT_TRUE(controller->tfFileSize->toolTip().contains("over the budget of 20 kB: png has no quality to lower"));

    chooseFileType(3);
    QTest::mouseClick(controller->fileSizeBudgetCheckBox, Qt::LeftButton);
    EXPECT_FALSE(defaults.boolForKey(PrefKey::keepFilesUnderBudget));
    EXPECT_TRUE(controller->qualitySlider->isEnabled());
    EXPECT_EQ(controller->qualitySlider->floatValue(), own);
    EXPECT_GT(QFileInfo(tempPreviewPath(3)).size(), 20000);
    EXPECT_TRUE(controller->tfFileSize->toolTip().isEmpty());
}

TEST_F(DispatcherTest, ResampleModeShowsFillColourOnlyInAddMode)
{
    QTest::mouseClick(controller->constrain, Qt::LeftButton); // crop controls show while unlocked
    for (const int mode : {1, 0, 1}) {
        QTest::mouseClick(controller->resampleModeButton->cellWithTag(mode), Qt::LeftButton);
        EXPECT_EQ(controller->fillColourButton->isHidden(), mode == 0) << mode;
        EXPECT_EQ(controller->fillColourLabel->isHidden(), mode == 0) << mode;
    }
    controller->fillColourButton->setFocus();
    QTest::keyClick(controller->fillColourButton, Qt::Key_End);
    EXPECT_EQ(defaults.integerForKey(PrefKey::fillcolour), 2);
}

TEST_F(DispatcherTest, ActualSizeTakesTheLargestPixelsAndZeroSizesChangeNothing)
{
    auto small = std::make_shared<MemoryImageRep>(PixelBuffer::create(800, 600, 3, 8));
    auto large = std::make_shared<MemoryImageRep>(PixelBuffer::create(1600, 1200, 3, 8));
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{small, large}, QSizeF(800, 600));
    QTest::mouseClick(controller->actualButton, Qt::LeftButton);
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("1600"));
    EXPECT_EQ(stored(PrefKey::outputHeight), QStringLiteral("1200"));

    // Without pixels, as a vector picture, the size in points.
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(150.7, 99.9));
    controller->actualMenuItem->trigger();
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("150"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("99"));

    LogCapture log;
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(0.5, 20));
    controller->setActualSize();
    EXPECT_TRUE(log.contains(QStringLiteral("returning from setActualSize: - one dimension is zero")));
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("150"));

    // A zero-sized picture keeps the ratio of the one before.
    adopt(picture(300, 200));
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(0, 200));
    controller->calculateRatio();
    EXPECT_FLOAT_EQ(controller->aspectRatio, 1.5f);
}

TEST_F(DispatcherTest, NoRatioYetMeansNoProportionalUpdate)
{
    controller->sizeFieldW->setText(QStringLiteral("1000"));
    controller->applyAspectRatio(controller.get());
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("125"));
    EXPECT_EQ(stored(PrefKey::outputWidth), QStringLiteral("125"));
}

TEST_F(DispatcherTest, NextAndPreviousStepThroughTheBatchList)
{
    QTemporaryDir folder;
    QStringList paths;
    for (const auto &[name, size] : {std::pair{"one.png", QSize(300, 200)}, std::pair{"two.txt", QSize()},
                                     std::pair{"three.png", QSize(100, 400)}}) {
        paths << folder.filePath(QString::fromLatin1(name));
        QImage image(size, QImage::Format_RGB888);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(size.isEmpty() || image.save(paths.last()));
    }
    QFile text(paths[1]);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    // The state a new batch leaves (the intake sets it up).
    controller->inputFileArray = paths;
    controller->cursor = 0;
    adopt(Picture::readFile(paths[0]));
    controller->nextImage->show();
    controller->previousImage->show();
    controller->previousImage->setEnabled(false);
    controller->nextImage->setEnabled(true);
    controller->sizeFieldW->setText(QStringLiteral("200"));

    QTest::mouseClick(controller->nextImage, Qt::LeftButton); // onto the text file
    EXPECT_EQ(controller->cursor, 1);
    EXPECT_TRUE(controller->previousImage->isEnabled());
    EXPECT_FLOAT_EQ(controller->aspectRatio, 1.5f); // picture and text unchanged
    EXPECT_TRUE(controller->inputFileCount->text().isEmpty());

    QTest::mouseClick(controller->nextImage, Qt::LeftButton);
    EXPECT_EQ(controller->cursor, 2);
    EXPECT_FALSE(controller->nextImage->isEnabled());
    EXPECT_EQ(controller->inputFileCount->text(), QStringLiteral("showing image 3 of 3 images"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("800"));
    EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(200, 800));
    controller->handleControl(controller->nextImage); // past the end, nothing

    QTest::mouseClick(controller->previousImage, Qt::LeftButton);
    QTest::mouseClick(controller->previousImage, Qt::LeftButton);
    EXPECT_EQ(controller->cursor, 0);
    EXPECT_FALSE(controller->previousImage->isEnabled());
    EXPECT_EQ(controller->inputFileCount->text(), QStringLiteral("showing the first of 3 images"));
}
