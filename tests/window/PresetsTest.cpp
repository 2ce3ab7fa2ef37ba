#include "WindowTestSupport.h"

class PresetsTest : public ShownWindowTest {
protected:
    // Away from every preset position, with an effect chosen.
    void moveEverything()
    {
        for (ValueSlider *slider : sliders())
            slider->setFloatValue(slider->floatMinimum());
        selectItemWithTag(controller->filterPopUp, 3);
        controller->handleControl(controller->filterPopUp);
        controller->sharpenSlider->setFloatValue(1.5f);
    }
    std::vector<ValueSlider *> sliders() const
    {
        return {controller->saturationSlider, controller->brightnessSlider, controller->exposureSlider,
                controller->contrastSlider,   controller->vibranceSlider,   controller->temperatureSlider};
    }
    std::vector<float> positions() const
    {
        std::vector<float> values;
        std::ranges::transform(sliders(), std::back_inserter(values), &ValueSlider::floatValue);
        return values;
    }
};

TEST_F(PresetsTest, EachPresetTakesItsPositionsWithinTheSlidersAndClearsTheEffect)
{
    namespace K = AdjustmentKey;
    const struct {
        const char *name;
        QVariant record;
        QPushButton *button;
        std::vector<float> positions;
    } cases[] = {
        {"defaults, two entries", QVariantMap{{K::exposure, 0.7f}, {K::contrast, QStringLiteral("1.25")}},
         controller->adjustmentDefaultsButton, {1.0f, 0.0f, 0.7f, 1.25f, 0.0f, 12.68f}},
        // An exposure of 200 stops once reached the engine from here and crashed it.
        {"defaults beyond the sliders",
         QVariantMap{{K::saturation, -3.0f}, {K::brightness, QStringLiteral("1e999")}, {K::exposure, 200.0f},
                     {K::contrast, 0.1f}, {K::vibrance, -9.0f}, {K::temperature, 30.0f}},
         controller->adjustmentDefaultsButton, {0.0f, 0.5f, 2.0f, 0.5f, -1.0f, 13.9f}},
        {"zero", QVariantMap{{K::exposure, 0.7f}}, controller->adjustmentZeroButton, {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 12.68f}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        defaults.setObjectForKey(c.record, PrefKey::adjustmentDefaults);
        moveEverything();
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_EQ(positions(), c.positions);
        EXPECT_EQ(selectedTag(controller->filterPopUp), 0);
        EXPECT_EQ(controller->sharpenSlider->floatValue(), 1.5f); // "resetSliders" 1 leaves sharpening
    }
}

TEST_F(PresetsTest, SavingReplacesTheRecordAndAResetAboveOneClearsSharpeningWithoutStoringIt)
{
    defaults.setObjectForKey(QVariantMap{{QStringLiteral("old"), 1}}, PrefKey::adjustmentDefaults);
    moveEverything();
    controller->exposureSlider->setFloatValue(0.0f);
    QTest::mouseClick(controller->saveAdjustmentDefaultsButton, Qt::LeftButton);
    const QVariantMap record = defaults.dictionaryForKey(PrefKey::adjustmentDefaults);
    EXPECT_EQ(record.size(), 6);
    for (const QVariant &value : record)
        EXPECT_EQ(value.typeId(), QMetaType::Float);
    controller->exposureSlider->setFloatValue(1.0f);
    controller->setAdjustmentDefaults();
    EXPECT_EQ(controller->exposureSlider->floatValue(), 0.0f); // not the factory 0.2 any more

    defaults.setIntegerForKey(5, PrefKey::resetSliders); // any value above 1
    controller->sharpenSlider->setFloatValue(1.0f);
    controller->setAdjustmentZeros();
    EXPECT_EQ(controller->sharpenSlider->floatValue(), 0.0f);
    EXPECT_EQ(defaults.floatForKey(PrefKey::sharpeningValue), 0.24f);
}
