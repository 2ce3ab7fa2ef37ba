#include "WindowTestSupport.h"

class PresetsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
        controller->uiWindow->show();
        // Away from every preset position, with an effect chosen.
        for (ValueSlider *slider : sliders())
            slider->setFloatValue(slider->floatMinimum());
        selectItemWithTag(controller->filterPopUp, 3);
        controller->handleControl(controller->filterPopUp);
        controller->filterIntensity->setFloatValue(4.0f);
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
        for (ValueSlider *slider : sliders())
            values.push_back(slider->floatValue());
        return values;
    }
};

TEST_F(PresetsTest, DefaultsTakeEachStoredEntryWithinTheSlidersAndFactoryValuesForTheRest)
{
    namespace K = AdjustmentKey;
    const struct {
        const char *name;
        QVariant record;
        std::vector<float> positions;
    } cases[] = {
        {"no record", QVariant(), {1.0f, 0.0f, 0.2f, 1.0f, 0.0f, 12.68f}},
        {"two entries", QVariantMap{{K::exposure, 0.7f}, {K::contrast, QStringLiteral("1.25")}},
         {1.0f, 0.0f, 0.7f, 1.25f, 0.0f, 12.68f}},
        // An exposure of 200 stops once reached the engine from here and crashed it.
        {"beyond the sliders",
         QVariantMap{{K::saturation, -3.0f}, {K::brightness, QStringLiteral("1e999")}, {K::exposure, 200.0f},
                     {K::contrast, 0.1f}, {K::vibrance, -9.0f}, {K::temperature, 30.0f}},
         {0.0f, 0.5f, 2.0f, 0.5f, -1.0f, 13.9f}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.record.isValid())
            defaults.setObjectForKey(c.record, PrefKey::adjustmentDefaults);
        selectItemWithTag(controller->filterPopUp, 3);
        controller->handleControl(controller->filterPopUp);
        QTest::mouseClick(controller->adjustmentDefaultsButton, Qt::LeftButton);
        EXPECT_EQ(positions(), c.positions);
        EXPECT_EQ(selectedTag(controller->filterPopUp), 0);
        EXPECT_FALSE(controller->filterIntensity->isEnabled());
        EXPECT_EQ(controller->filterIntensity->floatValue(), 4.0f);
        EXPECT_EQ(controller->sharpenSlider->floatValue(), 1.5f); // "resetSliders" 1 leaves sharpening
    }
}

TEST_F(PresetsTest, ZeroPresetIsNeutralAndSavingItReplacesTheRecord)
{
    defaults.setObjectForKey(QVariantMap{{AdjustmentKey::exposure, 0.7f}, {QStringLiteral("old"), 1}},
                             PrefKey::adjustmentDefaults);
    QTest::mouseClick(controller->adjustmentZeroButton, Qt::LeftButton);
    EXPECT_EQ(positions(), (std::vector<float>{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 12.68f}));
    EXPECT_EQ(selectedTag(controller->filterPopUp), 0);

    QTest::mouseClick(controller->saveAdjustmentDefaultsButton, Qt::LeftButton);
    const QVariantMap record = defaults.dictionaryForKey(PrefKey::adjustmentDefaults);
    EXPECT_EQ(record.size(), 6);
    for (const QVariant &value : record)
        EXPECT_EQ(value.typeId(), QMetaType::Float);
    controller->exposureSlider->setFloatValue(1.0f);
    controller->setAdjustmentDefaults();
    EXPECT_EQ(controller->exposureSlider->floatValue(), 0.0f); // not the factory 0.2 any more
}

TEST_F(PresetsTest, ResetSlidersTwoClearsSharpeningInBothPresetsWithoutStoringIt)
{
    defaults.setIntegerForKey(2, PrefKey::resetSliders);
    controller->setAdjustmentDefaults();
    EXPECT_EQ(controller->sharpenSlider->floatValue(), 0.0f);
    controller->sharpenSlider->setFloatValue(1.0f);
    defaults.setIntegerForKey(5, PrefKey::resetSliders);
    controller->setAdjustmentZeros();
    EXPECT_EQ(controller->sharpenSlider->floatValue(), 0.0f);
    EXPECT_EQ(defaults.floatForKey(PrefKey::sharpeningValue), 0.24f);
}
