#include "WindowTestSupport.h"

#include <limits>

class DispatcherTest : public ShownWindowTest {
protected:
    void chooseFileType(int tag)
    {
        selectItemWithTag(controller->fileFormatButton, tag);
        emit controller->fileFormatButton->activated(controller->fileFormatButton->currentIndex());
    }
    QString stored(const QString &key) const { return defaults.stringForKey(key); }
};

TEST_F(DispatcherTest, SizeFieldsHoldWholePixelsAndTheLockRoundsTheOtherSideHalvesAway)
{
    // No ratio yet: nothing to keep in proportion.
    controller->sizeFieldW->setText(QStringLiteral("1000"));
    controller->applyAspectRatio(controller.get());
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("125"));

    adopt(picture(300, 200));
    QLineEdit *width = controller->sizeFieldW, *height = controller->sizeFieldH;
    const struct {
        bool locked;
        QLineEdit *field;
        bool pasted;
        const char *text, *w, *h;
    } cases[] = {
        {true, width, false, "1,000", "1000", "667"},
        {true, height, false, "333", "500", "333"}, // 499.5 goes up
        // With the lock off nothing recomputes or cleans a field, so the field itself must hold whole pixels.
        {false, width, false, "-8p1.5", "815", "333"}, // the sign, letters and point are refused
        {false, width, true, " 1,600\n", "1600", "333"},
        {false, width, true, "12.5", "1600", "333"}, // refused whole
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.pasted ? "pasted " : "typed ") + c.text);
        if (controller->constrain->isChecked() != c.locked)
            QTest::mouseClick(controller->constrain, Qt::LeftButton);
        if (c.pasted) {
            QApplication::clipboard()->setText(QString::fromLatin1(c.text));
            c.field->selectAll();
            QTest::keyClick(c.field, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(c.field, Qt::Key_Return);
        } else {
            typeInto(c.field, QString::fromLatin1(c.text));
        }
        EXPECT_EQ(width->text(), c.w);
        EXPECT_EQ(height->text(), c.h);
        EXPECT_EQ(stored(PrefKey::outputWidth), c.w);
        EXPECT_EQ(stored(PrefKey::outputHeight), c.h);
        EXPECT_EQ(controller->previewSettings().value(QStringLiteral("xabs")).toFloat(), QString(c.w).toFloat());
    }
    // Turning the lock on again recomputes the height, held within 32 bits.
    typeInto(width, QStringLiteral("9999999999"));
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    EXPECT_EQ(height->text(), QString::number(std::numeric_limits<qint32>::max()));
}

// Whichever road changes the proportion lock, the button, its menu item, the indicator,
// the crop controls and the stored "constrain" tell the same story.
TEST_F(DispatcherTest, EveryRoadToTheLockLeavesOneState)
{
    adopt(picture(300, 200));
    const auto expectLock = [&](bool on, const char *road) {
        EXPECT_EQ(controller->constrain->isChecked(), on) << road;
        EXPECT_EQ(controller->constrainMenuItem->isChecked(), on) << road;
        EXPECT_EQ(controller->cropControls->isHidden(), on) << road;
        EXPECT_EQ(defaults.boolForKey(PrefKey::constrain), on) << road;
    };
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    expectLock(false, "button");
    controller->uiWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->uiWindow));
    QTest::keyClick(controller->uiWindow, Qt::Key_L, Qt::ControlModifier);
    expectLock(true, "menu shortcut");
    QTest::mouseClick(controller->actualButton, Qt::LeftButton);
    expectLock(true, "Actual Size, which only ever turns it on");
}

TEST_F(DispatcherTest, TheFileTypeAndTheBudgetSetTheQualitySlider)
{
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

    // Each type's search is DriverTest's, the stored budget SaveTest's; here what the window shows of it.
    QTest::mouseClick(controller->fileSizeBudgetCheckBox, Qt::LeftButton);
    controller->fileSizeBudgetField->setValue(20);
    chooseFileType(4);
    const qint64 size = QFileInfo(tempPreviewPath(4)).size();
    EXPECT_LE(size, 20000);
    EXPECT_GT(size, 10000); // the highest quality that fits, not just any
    EXPECT_FALSE(controller->qualitySlider->isEnabled());
    EXPECT_LT(controller->qualitySlider->floatValue(), own);
    EXPECT_EQ(defaults.floatForKey(PrefKey::qualityValue), own);
    // Lossless, the budget cannot be met: the slider is the person's again, the label says why.
    chooseFileType(1);
    EXPECT_EQ(controller->qualitySlider->floatValue(), own);
    EXPECT_TRUE(controller->tfFileSize->toolTip().contains("over the budget of 20 kB: png has no quality to lower"));

    chooseFileType(3);
    QTest::mouseClick(controller->fileSizeBudgetCheckBox, Qt::LeftButton);
    EXPECT_TRUE(controller->qualitySlider->isEnabled());
    EXPECT_EQ(controller->qualitySlider->floatValue(), own);
    EXPECT_GT(QFileInfo(tempPreviewPath(3)).size(), 20000);
    chooseFileType(2);
    EXPECT_FALSE(controller->qualitySlider->isEnabled()) << "TIFF has no quality";
}

TEST_F(DispatcherTest, ActualSizeTakesTheLargestPixelsAndZeroSizesChangeNothing)
{
    auto small = std::make_shared<MemoryImageRep>(PixelBuffer::create(800, 600, 3, 8));
    auto large = std::make_shared<MemoryImageRep>(PixelBuffer::create(1600, 1200, 3, 8));
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{small, large}, QSizeF(800, 600));
    QTest::mouseClick(controller->actualButton, Qt::LeftButton);
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("1600"));

    // Without pixels, as a vector picture, the size in points.
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(150.7, 99.9));
    controller->actualMenuItem->trigger();
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("150"));

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

// An entry that is no picture is IntakeTest's; here the stepping and what it shows.
TEST_F(DispatcherTest, NextAndPreviousStepThroughTheBatchList)
{
    QStringList paths;
    for (const auto &[name, size] : {std::pair{"one.png", QSize(300, 200)}, std::pair{"two.png", QSize(100, 400)}}) {
        paths << folder.filePath(QString::fromLatin1(name));
        QImage image(size, QImage::Format_RGB888);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(paths.last()));
    }
    controller->applicationOpenFiles(paths);
    controller->sizeFieldW->setText(QStringLiteral("200"));

    QTest::mouseClick(controller->nextImage, Qt::LeftButton);
    EXPECT_FALSE(controller->nextImage->isEnabled());
    EXPECT_EQ(controller->inputFileCount->text(), QStringLiteral("showing image 2 of 2 images"));
    EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(200, 800));
    controller->handleControl(controller->nextImage); // past the end, nothing

    QTest::mouseClick(controller->previousImage, Qt::LeftButton);
    EXPECT_FALSE(controller->previousImage->isEnabled());
}
