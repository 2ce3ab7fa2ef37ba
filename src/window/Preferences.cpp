#include "Preferences.h"

#include "UserDefaults.h"

#include <QVariantMap>

void writeFirstRunValues(UserDefaults &defaults, const std::function<double()> &mainScreenScale)
{
    auto writeIfAbsent = [&defaults](const QString &key, const QVariant &value) {
        if (!defaults.hasObjectForKey(key))
            defaults.setObjectForKey(value, key);
    };
    writeIfAbsent(PrefKey::outputWidth, kFirstRunOutputSize);
    writeIfAbsent(PrefKey::outputHeight, kFirstRunOutputSize);
    writeIfAbsent(PrefKey::qualityValue, kFirstRunQuality);
    writeIfAbsent(PrefKey::sharpeningValue, kFirstRunSharpening);
    writeIfAbsent(PrefKey::create2xVersion, true);
    writeIfAbsent(PrefKey::create3xVersion, true);
    writeIfAbsent(PrefKey::constrain, true);
    writeIfAbsent(PrefKey::fileFormat, kFirstRunFileFormat);
    writeIfAbsent(PrefKey::makeDirectoryForBatch, qint64(1));
    writeIfAbsent(PrefKey::resetSliders, qint64(1));
    if (!defaults.hasObjectForKey(PrefKey::retinaDisplay)) {
        const double scale = mainScreenScale ? mainScreenScale() : 1.0;
        if (thisFloatIsEqualToFloat(float(scale), 1.0f))
            defaults.setObjectForKey(false, PrefKey::retinaDisplay);
    }
    writeIfAbsent(PrefKey::warnAboutUpscaling, true);
    writeIfAbsent(PrefKey::keepFilesUnderBudget, false);
    writeIfAbsent(PrefKey::fileSizeBudget, qint64(FileSizeBudget::kFirstRunKilobytes));
}

void repairAdjustmentDefaults(UserDefaults &defaults)
{
    const QVariant stored = defaults.objectForKey(PrefKey::adjustmentDefaults);
    if (stored.typeId() != QMetaType::QVariantMap) // none, or a value that is no record
        return;
    QVariantMap record = stored.toMap();
    if (record.contains(AdjustmentKey::brightness) && !record.contains(AdjustmentKey::exposure)) {
        record.insert(AdjustmentKey::exposure, record.value(AdjustmentKey::brightness));
        record.insert(AdjustmentKey::brightness, 0.0f);
        defaults.setObjectForKey(record, PrefKey::adjustmentDefaults);
    }
    if (record.contains(AdjustmentKey::brightness) && !record.contains(AdjustmentKey::temperature)) {
        record.insert(AdjustmentKey::temperature, kNeutralTemperatureSlider);
        defaults.setObjectForKey(record, PrefKey::adjustmentDefaults);
    }
}
