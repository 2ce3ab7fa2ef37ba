#pragma once
// The user-defaults keys, their first-run values, and the start-up repair of an older
// adjustment defaults record.

#include "FileSizeBudget.h"
#include "FloatEquality.h"

#include <QString>
#include <functional>

class UserDefaults;

namespace PrefKey {
inline const QString outputWidth = QStringLiteral("outputWidth");
inline const QString outputHeight = QStringLiteral("outputHeight");
inline const QString qualityValue = QStringLiteral("qualityValue");
inline const QString sharpeningValue = QStringLiteral("sharpeningValue");
inline const QString create2xVersion = QStringLiteral("create2xVersion");
inline const QString create3xVersion = QStringLiteral("create3xVersion");
inline const QString constrain = QStringLiteral("constrain");
inline const QString fileFormat = QStringLiteral("fileFormat");
inline const QString makeDirectoryForBatch = QStringLiteral("makeDirectoryForBatch");
inline const QString resetSliders = QStringLiteral("resetSliders");
inline const QString retinaDisplay = QStringLiteral("retinaDisplay");
inline const QString warnAboutUpscaling = QStringLiteral("warnAboutUpscaling");
inline const QString adjustmentDefaults = QStringLiteral("adjustmentDefaults");
inline const QString fillcolour = QStringLiteral("fillcolour");
inline const QString formats = QStringLiteral("formats");
inline const QString keepFilesUnderBudget = FileSizeBudget::keepUnderKey;
inline const QString fileSizeBudget = FileSizeBudget::kilobytesKey;
// Kept by the window beyond the keys above; absent reads as off (or none).
inline const QString fitWithin = QStringLiteral("fitWithin");
inline const QString neverEnlarge = QStringLiteral("neverEnlarge");
inline const QString lastSaveFolder = QStringLiteral("lastSaveFolder");
} // namespace PrefKey

// First-run values that readers fall back on when a stored value is unusable.
inline constexpr qint32 kFirstRunOutputPixels = 125;
inline const QString kFirstRunOutputSize = QString::number(kFirstRunOutputPixels); // stored as text
inline constexpr float kFirstRunQuality = 98.3736f;
inline constexpr float kFirstRunSharpening = 0.24f;
inline constexpr qint64 kFirstRunFileFormat = 0;

// Keys of the adjustment defaults record.
namespace AdjustmentKey {
inline const QString saturation = QStringLiteral("saturation");
inline const QString brightness = QStringLiteral("brightness");
inline const QString exposure = QStringLiteral("exposure");
inline const QString contrast = QStringLiteral("contrast");
inline const QString vibrance = QStringLiteral("vibrance");
inline const QString temperature = QStringLiteral("temperature");
} // namespace AdjustmentKey

// The temperature slider's neutral position: log2 of about 6562 K.
inline constexpr float kNeutralTemperatureSlider = 12.68f;

// What a slider lets a person choose: minimum to maximum in steps. The window builds its
// sliders from these; the command line accepts no more, and a stored adjustment record
// is held to them.
struct SliderRange {
    float minimum, maximum, step;
    bool contains(double v) const { return v >= minimum && v <= maximum; }
    // v within the range; NaN gives the minimum.
    float bounded(float v) const { return v > minimum ? (v < maximum ? v : maximum) : minimum; }
};

namespace SliderRanges {
inline constexpr SliderRange quality{0.0f, 100.0f, 1.0f};
inline constexpr SliderRange sharpen{0.0f, 2.0f, 0.02f};
inline constexpr SliderRange saturation{0.0f, 2.0f, 0.01f};
inline constexpr SliderRange brightness{-0.5f, 0.5f, 0.01f};
inline constexpr SliderRange exposure{-2.0f, 2.0f, 0.02f};
inline constexpr SliderRange contrast{0.5f, 1.5f, 0.01f};
inline constexpr SliderRange vibrance{-1.0f, 1.0f, 0.02f};
// log2 of the colour temperature: 2^11.5 is about 2900 K, 2^13.9 about 15300 K.
inline constexpr SliderRange temperature{11.5f, 13.9f, 0.02f};
// Whole numbers: sepia 0 or 1, posterize in steps of six levels.
inline constexpr SliderRange filterIntensity{0.0f, 5.0f, 1.0f};
} // namespace SliderRanges

// Writes each first-run value where the store holds no object under its key, in the
// fixed order. "retinaDisplay" is written (false) only when the main screen's scale,
// asked of mainScreenScale, is 1.
void writeFirstRunValues(UserDefaults &defaults, const std::function<double()> &mainScreenScale);

// Older records kept the exposure under "brightness" and had no "temperature".
void repairAdjustmentDefaults(UserDefaults &defaults);
