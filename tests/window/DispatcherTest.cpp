#include "WindowTestSupport.h"

#include "QP_ImageView.h"

#include "Controls.h"
#include "Log.h"
#include "OutputFileType.h"
#include "Preferences.h"
#include "UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <limits>

namespace {

// A representation with a size in points and no pixels, as a vector picture has.
class PointsOnlyRep : public ImageRep {
public:
    explicit PointsOnlyRep(QSizeF points) : points_(points) {}
    int pixelsWide() const override { return 0; }
    int pixelsHigh() const override { return 0; }
    QSizeF size() const override { return points_; }
    std::shared_ptr<const PixelBuffer> pixels() const override { return nullptr; }

private:
    QSizeF points_;
};

void type(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class DispatcherTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
        controller->uiWindow->show();
    }
    UserDefaults &defaults = UserDefaults::standard();
};

TEST_F(DispatcherTest, LockedWidthCleansCommasAndRoundsTheHeight)
{
    adopt(picture(300, 200));
    ASSERT_FLOAT_EQ(controller->aspectRatio, 1.5f);
    type(controller->sizeFieldW, QStringLiteral("1,000"));
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("1000"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("667"));
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputWidth), QVariant(QStringLiteral("1000")));
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputHeight), QVariant(QStringLiteral("667")));
}

TEST_F(DispatcherTest, LockedHeightRoundsHalvesAwayFromZero)
{
    adopt(picture(300, 200));
    type(controller->sizeFieldH, QStringLiteral("333"));
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("500")); // 499.5
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputWidth), QVariant(QStringLiteral("500")));
    type(controller->sizeFieldH, QStringLiteral("1,001"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("1001"));
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("1502")); // 1501.5
}

// With the lock off nothing recomputes or cleans a field, so the field itself must hold
// whole pixels whichever way the text arrives, and every reader must see that number.
TEST_F(DispatcherTest, SizeFieldsTakeWholePixelsByEveryRoad)
{
    adopt(picture(300, 200));
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    ASSERT_FALSE(controller->constrain->isChecked());
    const QString height = controller->sizeFieldH->text();
    auto typed = [](QString text) { return [text](QLineEdit *field) { type(field, text); }; };
    auto pasted = [](QString text) {
        return [text](QLineEdit *field) {
            QApplication::clipboard()->setText(text);
            field->setFocus();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(field, Qt::Key_Return);
        };
    };
    const struct {
        const char *name;
        std::function<void(QLineEdit *)> road;
        QString shown;
    } cases[] = {
        {"typed with a thousands separator", typed(QStringLiteral("1,234")), QStringLiteral("1234")},
        {"typed with a decimal point, which is refused", typed(QStringLiteral("12.5")), QStringLiteral("125")},
        {"typed with a sign and letters", typed(QStringLiteral("-8px0")), QStringLiteral("80")},
        {"typed past ten digits", typed(QStringLiteral("123456789012")), QStringLiteral("1234567890")},
        {"pasted with a thousands separator", pasted(QStringLiteral("2,048")), QStringLiteral("2048")},
        {"pasted with spaces and a line end", pasted(QStringLiteral(" 1 600\n")), QStringLiteral("1600")},
        {"pasted fraction, refused whole", pasted(QStringLiteral("12.5")), QStringLiteral("700")},
        {"pasted words, refused whole", pasted(QStringLiteral("wide")), QStringLiteral("700")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        type(controller->sizeFieldW, QStringLiteral("700"));
        c.road(controller->sizeFieldW);
        EXPECT_EQ(controller->sizeFieldW->text(), c.shown);
        EXPECT_EQ(defaults.stringForKey(PrefKey::outputWidth), c.shown);
        EXPECT_EQ(controller->previewSettings().value(QStringLiteral("xabs")).toFloat(), c.shown.toFloat());
        EXPECT_EQ(controller->sizeFieldH->text(), height); // unlocked: the height is left alone
    }

    // Turning the lock on again recomputes the height, held within 32 bits.
    type(controller->sizeFieldW, QStringLiteral("9999999999"));
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    EXPECT_EQ(controller->sizeFieldH->text(), QString::number(std::numeric_limits<qint32>::max()));
}

// Whichever road changes the proportion lock, the button, its menu item, the padlock, the
// indicator, the crop controls and the stored "constrain" tell the same story.
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
        {"start-up, stored off", false, nothing, false},
        {"start-up, stored as the text \"no\"", QStringLiteral("no"), nothing, false},
        {"button, on to off", true, button, false},
        {"button, off to on", false, button, true},
        {"menu item, on to off", true, menuItem, false},
        {"menu item, off to on", false, menuItem, true},
        {"menu shortcut, on to off", true, shortcut, false},
        {"Actual Size button, from off", false, actualButton, true},
        {"Actual Size menu item, from off", false, actualMenuItem, true},
    };
    for (const auto &road : roads) {
        SCOPED_TRACE(road.name);
        controller = std::make_unique<ShrinkerController>();
        controller->mainScreenScale = [] { return 1.0; };
        defaults.setObjectForKey(road.stored, PrefKey::constrain);
        launch();
        controller->uiWindow->show();
        adopt(picture(300, 200));
        road.act(*controller);
        EXPECT_EQ(controller->constrain->isChecked(), road.on);
        EXPECT_EQ(controller->constrainMenuItem->isChecked(), road.on);
        EXPECT_EQ(controller->constrain->property("namedImage"),
                  QVariant(road.on ? QStringLiteral("padlock-closed") : QStringLiteral("padlock-open")));
        EXPECT_EQ(controller->constrainIndicator->isHidden(), !road.on);
        EXPECT_EQ(controller->cropControls->isHidden(), road.on);
        EXPECT_EQ(defaults.boolForKey(PrefKey::constrain), road.on);
    }
}

TEST_F(DispatcherTest, FileTypeSetsQualityAndFilterSetsIntensity)
{
    QComboBox *type = controller->fileFormatButton;
    ASSERT_EQ(type->count(), 5);
    type->setFocus();
    const struct {
        const char *title;
        bool quality;
    } types[] = {{"PNG", false}, {"TIFF", false}, {"WebP", true}, {"AVIF", true}};
    for (const auto &t : types) {
        QTest::keyClick(type, Qt::Key_Down);
        EXPECT_EQ(type->currentText(), t.title);
        EXPECT_EQ(defaults.objectForKey(PrefKey::fileFormat), QVariant(qint64(selectedTag(type)))) << t.title;
        EXPECT_EQ(controller->qualitySlider->isEnabled(), t.quality) << t.title;
    }
    QTest::keyClick(type, Qt::Key_Home); // jpeg
    EXPECT_EQ(defaults.integerForKey(PrefKey::fileFormat), 0);
    EXPECT_TRUE(controller->qualitySlider->isEnabled());

    QComboBox *filter = controller->filterPopUp;
    filter->setFocus();
    const bool expected[] = {false, false, true, true, false}; // none, tonal, sepia, posterize, chrome
    for (int tag = 1; tag <= 4; ++tag) {
        QTest::keyClick(filter, Qt::Key_Down);
        ASSERT_EQ(selectedTag(filter), tag);
        EXPECT_EQ(controller->filterIntensity->isEnabled(), expected[tag]) << "tag " << tag;
    }
}

TEST_F(DispatcherTest, WithABudgetTheSliderShowsTheQualityThatFits)
{
    EXPECT_FALSE(controller->fileSizeBudgetCheckBox->isChecked()); // off at first run
    EXPECT_FALSE(controller->fileSizeBudgetField->isEnabled());
    EXPECT_EQ(controller->fileSizeBudgetField->value(), 100);
    // Grain, so that the file's size follows the quality.
    QImage grain(400, 300, QImage::Format_RGB888);
    uint32_t state = 3;
    for (int y = 0; y < 300; ++y)
        for (uchar *p = grain.scanLine(y), *end = p + 1200; p < end; ++p)
            *p = uchar((state = state * 1664525u + 1013904223u) >> 24);
    QTest::mouseClick(controller->constrain, Qt::LeftButton);
    type(controller->sizeFieldW, QStringLiteral("200"));
    type(controller->sizeFieldH, QStringLiteral("150"));
    adopt(Picture::fromQImage(grain));
    const float own = controller->qualitySlider->floatValue();

    QSpinBox *field = controller->fileSizeBudgetField;
    QTest::mouseClick(controller->fileSizeBudgetCheckBox, Qt::LeftButton);
    EXPECT_TRUE(defaults.boolForKey(PrefKey::keepFilesUnderBudget));
    EXPECT_TRUE(field->isEnabled());
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("20"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(defaults.integerForKey(PrefKey::fileSizeBudget), 20);
    for (const int t : {0, 3, 4}) {
        selectItemWithTag(controller->fileFormatButton, t);
        defaults.setIntegerForKey(t, PrefKey::fileFormat);
        controller->handleControl(controller->fileFormatButton);
        const qint64 size = QFileInfo(tempPreviewPath(t)).size();
        EXPECT_LE(size, 20000) << "type " << t;
        EXPECT_GT(size, 10000) << "type " << t; // the highest quality that fits, not just any
        EXPECT_FALSE(controller->qualitySlider->isEnabled()) << "type " << t;
        EXPECT_LT(controller->qualitySlider->floatValue(), own) << "type " << t;
        EXPECT_EQ(defaults.floatForKey(PrefKey::qualityValue), own) << "type " << t;
    }
    // Lossless, the budget cannot be met: the slider is the person's again, the label says why.
    selectItemWithTag(controller->fileFormatButton, 1);
    defaults.setIntegerForKey(1, PrefKey::fileFormat);
    controller->handleControl(controller->fileFormatButton);
    EXPECT_EQ(controller->qualitySlider->floatValue(), own);
    EXPECT_TRUE(controller->tfFileSize->toolTip().contains("over the budget of 20 kB: png has no quality to lower"));

    selectItemWithTag(controller->fileFormatButton, 3);
    defaults.setIntegerForKey(3, PrefKey::fileFormat);
    controller->handleControl(controller->fileFormatButton);
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
    QTest::mouseClick(controller->resampleModeButton->cellWithTag(1), Qt::LeftButton);
    EXPECT_EQ(controller->resampleModeButton->selectedTag(), 1);
    EXPECT_FALSE(controller->fillColourButton->isHidden());
    EXPECT_FALSE(controller->fillColourLabel->isHidden());
    EXPECT_EQ(controller->resampleModeIconView->property("namedImage"), QVariant(QStringLiteral("add-icon")));
    QTest::mouseClick(controller->resampleModeButton->cellWithTag(0), Qt::LeftButton);
    EXPECT_TRUE(controller->fillColourButton->isHidden());
    EXPECT_TRUE(controller->fillColourLabel->isHidden());
    EXPECT_EQ(controller->resampleModeIconView->property("namedImage"), QVariant(QStringLiteral("crop-icon")));

    // The fill colour pop-up keeps its tag under "fillcolour".
    QTest::mouseClick(controller->resampleModeButton->cellWithTag(1), Qt::LeftButton);
    controller->fillColourButton->setFocus();
    QTest::keyClick(controller->fillColourButton, Qt::Key_End);
    EXPECT_EQ(defaults.integerForKey(PrefKey::fillcolour), 2);
}

// The lock it turns on is checked with every other road to the lock.
TEST_F(DispatcherTest, ActualSizeTakesTheLargestPixels)
{
    auto small = std::make_shared<MemoryImageRep>(PixelBuffer::create(800, 600, 3, 8));
    auto large = std::make_shared<MemoryImageRep>(PixelBuffer::create(1600, 1200, 3, 8));
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{small, large}, QSizeF(800, 600));
    QTest::mouseClick(controller->actualButton, Qt::LeftButton);
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("1600"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("1200"));
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputWidth), QVariant(QStringLiteral("1600")));
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputHeight), QVariant(QStringLiteral("1200")));

    auto vector = std::make_shared<PointsOnlyRep>(QSizeF(150.7, 99.9));
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{vector}, QSizeF(150.7, 99.9));
    controller->actualMenuItem->trigger();
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("150"));
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("99"));

    LogCapture log;
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(0.5, 20));
    controller->setActualSize();
    EXPECT_TRUE(log.contains(QStringLiteral("returning from setActualSize: - one dimension is zero")));
    EXPECT_EQ(controller->sizeFieldW->text(), QStringLiteral("150"));
}

TEST_F(DispatcherTest, ZeroSizedPictureKeepsTheRatioAndTheFields)
{
    adopt(picture(300, 200));
    LogCapture log;
    controller->inputImage = std::make_shared<Picture>(Picture::Representations{}, QSizeF(0, 200));
    controller->calculateRatio();
    EXPECT_EQ(log.messages().size(), 1);
    EXPECT_FLOAT_EQ(controller->aspectRatio, 1.5f);
}

TEST_F(DispatcherTest, NoRatioYetMeansNoProportionalUpdate)
{
    controller->sizeFieldW->setText(QStringLiteral("1000"));
    controller->applyAspectRatio(controller.get());
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("125"));
    EXPECT_EQ(defaults.objectForKey(PrefKey::outputWidth), QVariant(QStringLiteral("125")));
}

TEST_F(DispatcherTest, NextAndPreviousStepThroughTheBatchList)
{
    QTemporaryDir folder;
    QStringList paths;
    for (const auto &[name, size] : {std::pair{"one.png", QSize(300, 200)}, std::pair{"two.txt", QSize()},
                                     std::pair{"three.png", QSize(100, 400)}}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        if (size.isValid()) {
            QImage image(size, QImage::Format_RGB888);
            image.fill(Qt::darkCyan);
            ASSERT_TRUE(image.save(path));
        } else {
            QFile text(path);
            ASSERT_TRUE(text.open(QIODevice::WriteOnly));
            text.write("not a picture");
        }
        paths << path;
    }
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
    EXPECT_TRUE(controller->nextImage->isEnabled());
    EXPECT_FLOAT_EQ(controller->aspectRatio, 1.5f); // picture and text unchanged
    EXPECT_TRUE(controller->inputFileCount->text().isEmpty());

    QTest::mouseClick(controller->nextImage, Qt::LeftButton);
    EXPECT_EQ(controller->cursor, 2);
    EXPECT_FALSE(controller->nextImage->isEnabled());
    EXPECT_EQ(controller->inputFileCount->text(), QStringLiteral("showing image 3 of 3 images"));
    EXPECT_FLOAT_EQ(controller->aspectRatio, 0.25f);
    EXPECT_EQ(controller->sizeFieldH->text(), QStringLiteral("800"));
    EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(200, 800));

    QTest::mouseClick(controller->nextImage, Qt::LeftButton); // disabled: nothing happens
    controller->handleControl(controller->nextImage);          // and past the end, nothing either
    EXPECT_EQ(controller->cursor, 2);

    QTest::mouseClick(controller->previousImage, Qt::LeftButton);
    QTest::mouseClick(controller->previousImage, Qt::LeftButton);
    EXPECT_EQ(controller->cursor, 0);
    EXPECT_FALSE(controller->previousImage->isEnabled());
    EXPECT_TRUE(controller->nextImage->isEnabled());
    EXPECT_EQ(controller->inputFileCount->text(), QStringLiteral("showing the first of 3 images"));
    EXPECT_FLOAT_EQ(controller->aspectRatio, 1.5f);
}
