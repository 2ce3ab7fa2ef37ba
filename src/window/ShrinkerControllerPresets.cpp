// The adjustment presets: the person's saved slider positions, the neutral positions,
// and saving the current positions as the new defaults.

#include "ShrinkerController.h"

#include "Controls.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "UserDefaults.h"

#include <QComboBox>

#include <array>

namespace {

struct AdjustmentSlider {
    ValueSlider *slider;
    QString key;
    float factory; // used when the saved record lacks the key
    float neutral;
};

// The six sliders in the order the presets set them.
std::array<AdjustmentSlider, 6> adjustmentSliders(const ShrinkerController &c)
{
    return {{
        {c.saturationSlider, AdjustmentKey::saturation, 1.0f, 1.0f},
        {c.brightnessSlider, AdjustmentKey::brightness, 0.0f, 0.0f},
        {c.exposureSlider, AdjustmentKey::exposure, 0.2f, 0.0f},
        {c.contrastSlider, AdjustmentKey::contrast, 1.0f, 1.0f},
        {c.vibranceSlider, AdjustmentKey::vibrance, 0.0f, 0.0f},
        {c.temperatureSlider, AdjustmentKey::temperature, kNeutralTemperatureSlider, kNeutralTemperatureSlider},
    }};
}

} // namespace

void ShrinkerController::setAdjustmentDefaults()
{
    const QVariantMap record = UserDefaults::standard().dictionaryForKey(PrefKey::adjustmentDefaults);
    // A stored value goes no further than the slider could take it: an exposure of 200
    // stops is no setting anyone made here.
    for (const AdjustmentSlider &s : adjustmentSliders(*this)) {
        const SliderRange range{s.slider->floatMinimum(), s.slider->floatMaximum(), s.slider->floatStep()};
        s.slider->setFloatValue(record.contains(s.key) ? range.bounded(plistFloat(record.value(s.key))) : s.factory);
    }
    selectItemWithTag(filterPopUp, 0);
    handleControl(filterPopUp);
    if (UserDefaults::standard().integerForKey(PrefKey::resetSliders) >= 2)
        sharpenSlider->setFloatValue(0.0f);
}

void ShrinkerController::setAdjustmentZeros()
{
    for (const AdjustmentSlider &s : adjustmentSliders(*this))
        s.slider->setFloatValue(s.neutral);
    selectItemWithTag(filterPopUp, 0);
    handleControl(filterPopUp);
    if (UserDefaults::standard().integerForKey(PrefKey::resetSliders) >= 2)
        sharpenSlider->setFloatValue(0.0f);
}

void ShrinkerController::makeAdjustmentDefaults()
{
    QVariantMap record;
    for (const AdjustmentSlider &s : adjustmentSliders(*this))
        record.insert(s.key, s.slider->floatValue());
    UserDefaults::standard().setObjectForKey(record, PrefKey::adjustmentDefaults);
}
