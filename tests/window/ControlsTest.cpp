#include "WindowTestSupport.h"

#include "Controls.h"
#include "MessageBoxPresenter.h"
#include "OutputFileType.h"
#include "Preferences.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

TEST(ValueSliderTest, KeepsTheValueCodeSetsAndStepsForThePerson)
{
    ValueSlider slider(0.0f, 100.0f, 1.0f);
    QSignalSpy chosen(&slider, &ValueSlider::valueChosen);
    slider.setFloatValue(98.3736f);
    EXPECT_EQ(slider.floatValue(), 98.3736f);
    EXPECT_EQ(slider.value(), 98);
    EXPECT_EQ(chosen.count(), 0);

    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(slider.floatValue(), 99.0f);
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(slider.floatValue(), 100.0f);

    // Beyond the range the value is still kept; the knob rests at the end.
    slider.setFloatValue(140.0f);
    EXPECT_EQ(slider.floatValue(), 140.0f);
    EXPECT_EQ(slider.value(), 100);
}

TEST(ValueSliderTest, DragReportsMovesAndChoosesOnRelease)
{
    ValueSlider slider(-2.0f, 2.0f, 0.02f);
    slider.setFloatValue(0.0f);
    QSignalSpy dragged(&slider, &ValueSlider::valueDragged);
    QSignalSpy chosen(&slider, &ValueSlider::valueChosen);
    slider.setSliderDown(true);
    slider.setSliderPosition(150); // -2 + 150 x 0.02
    EXPECT_EQ(dragged.count(), 1);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_FLOAT_EQ(slider.floatValue(), 1.0f);
    slider.setSliderDown(false);
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_FLOAT_EQ(slider.floatValue(), 1.0f);
}

TEST(RadioGroupTest, SelectsByTagAndReportsOnlyThePersonsChoice)
{
    RadioGroup group;
    group.addCell(QStringLiteral("Crop"), 0);
    group.addCell(QStringLiteral("Add"), 3);
    QSignalSpy chosen(&group, &RadioGroup::activated);
    EXPECT_EQ(group.selectedTag(), 0);
    EXPECT_TRUE(group.selectCellWithTag(3)); // tags need not follow the order
    EXPECT_EQ(group.selectedTag(), 3);
    EXPECT_FALSE(group.selectCellWithTag(1));
    EXPECT_EQ(group.selectedTag(), 3);
    EXPECT_EQ(chosen.count(), 0);
    group.cellWithTag(0)->click();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.first().first().toInt(), 0);
    EXPECT_EQ(group.selectedTag(), 0);
}

class SliderWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
        controller->uiWindow->show();
        QTest::mouseClick(controller->constrain, Qt::LeftButton);
        controller->sizeFieldW->setText(QStringLiteral("200"));
        controller->sizeFieldH->setText(QStringLiteral("100"));
        controller->inputImage = picture(400, 200);
    }
    UserDefaults &defaults = UserDefaults::standard();
};

TEST_F(SliderWindowTest, KeyboardMovesStoreTheValueAndRender)
{
    controller->qualitySlider->setFocus();
    QTest::keyClick(controller->qualitySlider, Qt::Key_Home);
    EXPECT_EQ(defaults.objectForKey(PrefKey::qualityValue), QVariant(0.0f));
    ASSERT_TRUE(QFileInfo::exists(tempPreviewPath(0)));
    const qint64 smallest = QFileInfo(tempPreviewPath(0)).size();
    QTest::keyClick(controller->qualitySlider, Qt::Key_End);
    EXPECT_EQ(defaults.objectForKey(PrefKey::qualityValue), QVariant(100.0f));
    EXPECT_GT(QFileInfo(tempPreviewPath(0)).size(), smallest);
    EXPECT_EQ(controller->tfFileSize->text(), ShrinkerController::fileSizeText(QFileInfo(tempPreviewPath(0)).size()));

    controller->sharpenSlider->setFocus();
    QTest::keyClick(controller->sharpenSlider, Qt::Key_Right);
    EXPECT_EQ(defaults.objectForKey(PrefKey::sharpeningValue).typeId(), QMetaType::Float);
    EXPECT_FLOAT_EQ(defaults.floatForKey(PrefKey::sharpeningValue), 0.26f);
}

TEST_F(SliderWindowTest, DragRendersOnlyWhileRendersAreQuick)
{
    controller->updateOutputImage();
    ASSERT_GT(controller->lastRenderMilliseconds(), 0.0);
    ValueSlider *slider = controller->exposureSlider;

    controller->dragRenderBudgetMilliseconds = 0.0; // every render counts as slow
    QFile::remove(tempPreviewPath(0));
    slider->setSliderDown(true);
    slider->setSliderPosition(slider->value() + 10);
    EXPECT_FALSE(QFileInfo::exists(tempPreviewPath(0))) << "a slow preview waits for the release";
    slider->setSliderDown(false);
    EXPECT_TRUE(QFileInfo::exists(tempPreviewPath(0)));

    controller->dragRenderBudgetMilliseconds = 1e9; // every render counts as quick
    QFile::remove(tempPreviewPath(0));
    slider->setSliderDown(true);
    slider->setSliderPosition(slider->value() + 10);
    EXPECT_TRUE(QFileInfo::exists(tempPreviewPath(0))) << "a quick preview follows the drag";
    slider->setSliderDown(false);
}

TEST_F(SliderWindowTest, EverySliderShowsItsValueInTheEnginesUnits)
{
    ShrinkerController &c = *controller;
    // No effect chosen at first run: its intensity and the number beside it are greyed.
    ASSERT_FALSE(c.filterIntensity->isEnabled());
    EXPECT_FALSE(c.filterIntensity->valueLabel()->isEnabled());
    const struct {
        ValueSlider *slider;
        float value;
        const char *text;
    } cases[] = {
        {c.qualitySlider, 98.3736f, "98 %"},  {c.sharpenSlider, 0.24f, "0.24"},       {c.saturationSlider, 1.0f, "1.00"},
        {c.brightnessSlider, -0.004f, "0.00"}, {c.exposureSlider, -1.5f, "-1.50 EV"}, {c.contrastSlider, 1.25f, "1.25"},
        {c.vibranceSlider, -0.3f, "-0.30"},   {c.temperatureSlider, 12.68f, "6562 K"}, {c.filterIntensity, 3.0f, "3"},
    };
    for (const auto &[slider, value, text] : cases) {
        slider->setFloatValue(value);
        QLabel *label = slider->valueLabel();
        ASSERT_NE(label, nullptr) << text;
        EXPECT_EQ(label->text(), QString::fromLatin1(text));
        EXPECT_EQ(label->window(), c.uiWindow) << text;
        // Room for the widest value, so the slider beside it never moves.
        for (const float end : {slider->floatMinimum(), slider->floatMaximum()}) {
            slider->setFloatValue(end);
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->minimumWidth()) << label->text().toStdString();
        }
    }

    // While the knob is dragged the number follows it, before anything is chosen.
    ValueSlider *quality = c.qualitySlider;
    quality->setSliderDown(true);
    quality->setSliderPosition(42);
    EXPECT_EQ(quality->valueLabel()->text(), QStringLiteral("42 %"));
    quality->setSliderDown(false);

    // Moved by the presets, and greyed with a slider that does not apply.
    c.brightnessSlider->setFloatValue(0.3f);
    c.adjustmentZeroButton->click();
    EXPECT_EQ(c.brightnessSlider->valueLabel()->text(), QStringLiteral("0.00"));
    EXPECT_EQ(c.temperatureSlider->valueLabel()->text(), QStringLiteral("6562 K"));
    selectItemWithTag(c.fileFormatButton, 1);
    c.handleControl(c.fileFormatButton);
    EXPECT_FALSE(quality->valueLabel()->isEnabled());
}

namespace {
// Answers the next message box by pressing the button with that text.
void pressWhenShown(const QString &buttonText)
{
    QTimer::singleShot(0, [buttonText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *button : box->buttons())
            if (button->text() == buttonText)
                return button->click();
        FAIL() << "no button " << buttonText.toStdString();
    });
}
} // namespace

TEST(MessageBoxPresenterTest, AnswersWithTheButtonPressedAndDismissingWithTheSafeOne)
{
    MessageBoxPresenter presenter;
    AlertPanel panel{QStringLiteral("Format validation"), QStringLiteral("The name is empty."), QStringLiteral("OK"),
                     QStringLiteral("Cancel"), QStringLiteral("Delete")};
    const std::pair<QString, AlertResult> clicks[] = {
        {QStringLiteral("OK"), AlertDefault}, {QStringLiteral("Cancel"), AlertAlternate}, {QStringLiteral("Delete"), AlertOther}};
    for (const auto &[text, answer] : clicks) {
        pressWhenShown(text);
        EXPECT_EQ(presenter.runAlertPanel(panel), answer) << text.toStdString();
    }

    // The safe button may stand in any position. Without one, Escape and closing do nothing
    // (the helper then clicks the default button); a single button is its own safe answer.
    struct Case {
        const char *name;
        bool singleButton;
        AlertResult safe;
        int answer;
        bool leftOpen;
    };
    const Case cases[] = {
        {"safe default", false, AlertDefault, AlertDefault, false},
        {"safe alternate", false, AlertAlternate, AlertAlternate, false},
        {"safe other", false, AlertOther, AlertOther, false},
        {"no safe button", false, AlertNoAnswer, AlertDefault, true},
        {"one button", true, AlertNoAnswer, AlertDefault, false},
    };
    for (const Case &c : cases) {
        for (Dismissal how : {Dismissal::EscapeKey, Dismissal::CloseWindow}) {
            const std::string name = std::string(c.name) + ", " + dismissalName(how);
            AlertPanel asked = panel;
            if (c.singleButton)
                asked.alternateButton = asked.otherButton = QString();
            asked.safeAnswer = c.safe;
            const auto box = dismissNextMessageBox(how);
            EXPECT_EQ(presenter.runAlertPanel(asked), c.answer) << name;
            EXPECT_TRUE(box->shown) << name;
            EXPECT_EQ(box->leftOpen, c.leftOpen) << name;
        }
    }
}
