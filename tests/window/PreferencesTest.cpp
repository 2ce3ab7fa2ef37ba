#include "PixelCount.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <limits>
#include <optional>

namespace {
double standardScreen() { return 1.0; }
double highDensityScreen() { return 2.0; }
} // namespace

using PreferencesTest = FreshDefaultsTest;

TEST_F(PreferencesTest, FirstRunWritesEveryValueWithItsType)
{
    UserDefaults &d = UserDefaults::standard();
    writeFirstRunValues(d, standardScreen);
    EXPECT_EQ(d.objectForKey(PrefKey::outputWidth), QVariant(QStringLiteral("125")));
    EXPECT_EQ(d.objectForKey(PrefKey::outputHeight), QVariant(QStringLiteral("125")));
    EXPECT_EQ(d.objectForKey(PrefKey::qualityValue).typeId(), QMetaType::Float);
    EXPECT_EQ(double(d.floatForKey(PrefKey::qualityValue)), 98.37359619140625);
    EXPECT_EQ(d.floatForKey(PrefKey::sharpeningValue), 0.24f);
    for (const QString &key : {PrefKey::create2xVersion, PrefKey::create3xVersion, PrefKey::constrain,
                               PrefKey::warnAboutUpscaling})
        EXPECT_EQ(d.objectForKey(key), QVariant(true)) << key.toStdString();
    EXPECT_EQ(d.objectForKey(PrefKey::retinaDisplay), QVariant(false));
    EXPECT_EQ(d.objectForKey(PrefKey::fileFormat).typeId(), QMetaType::LongLong);
    EXPECT_EQ(d.integerForKey(PrefKey::fileFormat), 0);
    EXPECT_EQ(d.integerForKey(PrefKey::makeDirectoryForBatch), 1);
    EXPECT_EQ(d.integerForKey(PrefKey::resetSliders), 1);
    EXPECT_EQ(d.objectForKey(PrefKey::keepFilesUnderBudget), QVariant(false));
    EXPECT_EQ(d.objectForKey(PrefKey::fileSizeBudget), QVariant(qint64(100)));
    EXPECT_FALSE(d.hasObjectForKey(PrefKey::adjustmentDefaults));
    EXPECT_FALSE(d.hasObjectForKey(PrefKey::fillcolour));
}

TEST_F(PreferencesTest, StoredValuesOfAnyTypeAreLeftAlone)
{
    UserDefaults &d = UserDefaults::standard();
    d.setObjectForKey(QString(), PrefKey::outputWidth);
    d.setObjectForKey(QVariantList{1}, PrefKey::fileFormat);
    d.setObjectForKey(QStringLiteral("no"), PrefKey::constrain);
    d.setFloatForKey(12.5f, PrefKey::qualityValue);
    writeFirstRunValues(d, standardScreen);
    EXPECT_EQ(d.objectForKey(PrefKey::outputWidth), QVariant(QString()));
    EXPECT_EQ(d.objectForKey(PrefKey::fileFormat), QVariant(QVariantList{1}));
    EXPECT_EQ(d.objectForKey(PrefKey::constrain), QVariant(QStringLiteral("no")));
    EXPECT_EQ(d.floatForKey(PrefKey::qualityValue), 12.5f);
}

TEST_F(PreferencesTest, HighDensityScreenLeavesRetinaAbsentUntilAStandardOne)
{
    UserDefaults &d = UserDefaults::standard();
    writeFirstRunValues(d, highDensityScreen);
    EXPECT_FALSE(d.hasObjectForKey(PrefKey::retinaDisplay));
    writeFirstRunValues(d, [] { return 1.000009; });
    EXPECT_EQ(d.objectForKey(PrefKey::retinaDisplay), QVariant(false));
    d.setObjectForKey(true, PrefKey::retinaDisplay);
    writeFirstRunValues(d, standardScreen);
    EXPECT_EQ(d.objectForKey(PrefKey::retinaDisplay), QVariant(true));
}

TEST_F(PreferencesTest, RepairMovesOldBrightnessToExposureOnceAndAddsTemperature)
{
    namespace K = AdjustmentKey;
    const QVariant temperature(12.68f);
    const struct {
        QVariant stored, repaired;
    } cases[] = {
        {QVariantMap{{K::brightness, 0.5f}},
         QVariantMap{{K::brightness, 0.0f}, {K::exposure, 0.5f}, {K::temperature, temperature}}},
        // With an exposure already there, brightness stays.
        {QVariantMap{{K::brightness, 0.1f}, {K::exposure, 0.3f}},
         QVariantMap{{K::brightness, 0.1f}, {K::exposure, 0.3f}, {K::temperature, temperature}}},
        // Records without brightness, and values that are no record, are left alone.
        {QVariantMap{{K::exposure, 0.3f}}, QVariantMap{{K::exposure, 0.3f}}},
        {QStringLiteral("brightness"), QStringLiteral("brightness")},
    };
    UserDefaults &d = UserDefaults::standard();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        d.setObjectForKey(c.stored, PrefKey::adjustmentDefaults);
        repairAdjustmentDefaults(d);
        EXPECT_EQ(d.objectForKey(PrefKey::adjustmentDefaults), c.repaired);
        repairAdjustmentDefaults(d); // a second start-up changes nothing more
        EXPECT_EQ(d.objectForKey(PrefKey::adjustmentDefaults), c.repaired);
    }
}

// The reader of a stored size, which the window and the command line share.
TEST_F(PreferencesTest, StoredSizesReadAsWholePixelCounts)
{
    // The window's start-up table has the common cases; these are the rule's edges.
    const std::pair<QVariant, std::optional<qint32>> cases[] = {
        {QStringLiteral(" 1,234\n"), 1234},
        {QStringLiteral("12.5"), 12}, // a stored text gives the number at its start
        {QStringLiteral("300px"), 300},
        {QStringLiteral("99999999999999999999"), std::numeric_limits<qint32>::max()},
        {1e12, std::numeric_limits<qint32>::max()},
        {QStringLiteral("0"), std::nullopt},
        {QVariantList{640}, std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const auto &[stored, count] : cases)
        EXPECT_EQ(storedPixelCount(stored), count) << "stored " << plistString(stored).toStdString();
}
