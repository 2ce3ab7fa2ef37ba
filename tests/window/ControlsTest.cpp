#include "WindowTestSupport.h"

#include "MessageBoxPresenter.h"

class SliderWindowTest : public ShownWindowTest {
protected:
    void SetUp() override
    {
        ShownWindowTest::SetUp();
        QTest::mouseClick(controller->constrain, Qt::LeftButton);
        controller->sizeFieldW->setText(QStringLiteral("200"));
        controller->sizeFieldH->setText(QStringLiteral("100"));
        controller->inputImage = picture(400, 200);
    }
    qint64 previewSize() const { return QFileInfo(tempPreviewPath(0)).size(); }
};

TEST_F(SliderWindowTest, KeyboardMovesStoreTheValueAndRenderAndDragsRenderOnlyWhileRendersAreQuick)
{
    controller->qualitySlider->setFocus();
    QTest::keyClick(controller->qualitySlider, Qt::Key_Home);
    const qint64 smallest = previewSize();
    QTest::keyClick(controller->qualitySlider, Qt::Key_End);
    EXPECT_EQ(defaults.objectForKey(PrefKey::qualityValue), QVariant(100.0f));
    EXPECT_GT(previewSize(), smallest);

    ASSERT_GT(controller->lastRenderMilliseconds(), 0.0);
    ValueSlider *slider = controller->exposureSlider;
    for (const bool quick : {false, true}) {
        controller->dragRenderBudgetMilliseconds = quick ? 1e9 : 0.0;
        QFile::remove(tempPreviewPath(0));
        slider->setSliderDown(true);
        slider->setSliderPosition(slider->value() + 10);
        EXPECT_EQ(QFileInfo::exists(tempPreviewPath(0)), quick) << "a slow preview waits for the release";
        slider->setSliderDown(false);
        EXPECT_TRUE(QFileInfo::exists(tempPreviewPath(0)));
    }
}

TEST(MessageBoxPresenterTest, AnswersWithTheButtonPressedAndDismissingWithTheSafeOne)
{
    MessageBoxPresenter presenter;
    const AlertPanel panel{QStringLiteral("Format validation"), QStringLiteral("The name is empty."),
                           QStringLiteral("OK"), QStringLiteral("Cancel"), QStringLiteral("Delete")};
    for (const auto &[text, answer] : {std::pair{"OK", AlertDefault}, std::pair{"Cancel", AlertAlternate},
                                       std::pair{"Delete", AlertOther}}) {
        QTimer::singleShot(0, [text] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton *button : box->buttons())
                if (button->text() == QLatin1String(text))
                    button->click();
        });
        EXPECT_EQ(presenter.runAlertPanel(panel), answer) << text;
    }
    // Escape and closing answer with the safe button wherever it stands; without one they do nothing, so no
    // box is answered by a key the person did not mean (the helper then clicks the default button).
    for (const auto &[safe, answer] : {std::pair{AlertOther, AlertOther}, std::pair{AlertNoAnswer, AlertDefault}}) {
        for (Dismissal how : {Dismissal::EscapeKey, Dismissal::CloseWindow}) {
            AlertPanel asked = panel;
            asked.safeAnswer = safe;
            const auto box = dismissNextMessageBox(how);
            EXPECT_EQ(presenter.runAlertPanel(asked), answer) << dismissalName(how) << ", safe " << safe;
            EXPECT_EQ(box->leftOpen, safe == AlertNoAnswer) << dismissalName(how) << ", safe " << safe;
        }
    }
    // A single button is its own safe answer.
    const auto box = dismissNextMessageBox(Dismissal::EscapeKey);
    EXPECT_EQ(presenter.runAlertPanel(AlertPanel{panel.title, panel.message}), AlertDefault);
    EXPECT_FALSE(box->leftOpen);
}
