#include "PixelCount.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <limits>
#include <optional>

using PreferencesTest = FreshDefaultsTest;

TEST_F(PreferencesTest, FirstRunWritesWhatIsMissingWithItsTypeAndLeavesStoredValuesAlone)
{
    UserDefaults &d = UserDefaults::standard();
    d.setObjectForKey(QVariantList{1}, PrefKey::fileFormat);
    d.setObjectForKey(QStringLiteral("no"), PrefKey::constrain);
    writeFirstRunValues(d, [] { return 2.0; });
    // Stored files of other versions read these by type: a text, a float, a whole number, a truth value.
    const std::pair<QString, QVariant> values[] = {
        {PrefKey::outputWidth, QStringLiteral("125")},    {PrefKey::qualityValue, 98.37359619140625f},
        {PrefKey::makeDirectoryForBatch, qint64(1)},      {PrefKey::create2xVersion, true},
        {PrefKey::fileFormat, QVariantList{1}},           {PrefKey::constrain, QStringLiteral("no")},
    };
    for (const auto &[key, value] : values) {
        EXPECT_EQ(d.objectForKey(key), value) << key.toStdString();
        EXPECT_EQ(d.objectForKey(key).typeId(), value.typeId()) << key.toStdString();
    }
    EXPECT_FALSE(d.hasObjectForKey(PrefKey::adjustmentDefaults));
    // A high-density screen leaves "retinaDisplay" absent until a standard one.
    EXPECT_FALSE(d.hasObjectForKey(PrefKey::retinaDisplay));
    writeFirstRunValues(d, [] { return 1.000009; });
    EXPECT_EQ(d.objectForKey(PrefKey::retinaDisplay), QVariant(false));
}

TEST_F(PreferencesTest, RepairMovesOldBrightnessToExposureOnceAndAddsTemperature)
{
    namespace K = AdjustmentKey;
    const QVariant temperature(12.68f);
    const std::pair<QVariant, QVariant> cases[] = {
        {QVariantMap{{K::brightness, 0.5f}},
         QVariantMap{{K::brightness, 0.0f}, {K::exposure, 0.5f}, {K::temperature, temperature}}},
        // With an exposure already there, brightness stays.
        {QVariantMap{{K::brightness, 0.1f}, {K::exposure, 0.3f}},
         QVariantMap{{K::brightness, 0.1f}, {K::exposure, 0.3f}, {K::temperature, temperature}}},
        {QVariantMap{{K::exposure, 0.3f}}, QVariantMap{{K::exposure, 0.3f}}},
        {QStringLiteral("brightness"), QStringLiteral("brightness")},
    };
    UserDefaults &d = UserDefaults::standard();
    for (const auto &[stored, repaired] : cases) {
        SCOPED_TRACE(plistString(stored).toStdString());
        d.setObjectForKey(stored, PrefKey::adjustmentDefaults);
        for (int start = 0; start < 2; ++start) { // a second start-up changes nothing more
            repairAdjustmentDefaults(d);
            EXPECT_EQ(d.objectForKey(PrefKey::adjustmentDefaults), repaired);
        }
    }
}

// The reader of a stored size, which the window and the command line share.
TEST_F(PreferencesTest, StoredSizesReadAsWholePixelCounts)
{
    const std::pair<QVariant, std::optional<qint32>> cases[] = {
        {QStringLiteral("12.5"), 12},
        {QStringLiteral(" 1,234\n"), 1234},
        {QStringLiteral("99999999999999999999"), std::numeric_limits<qint32>::max()},
        {1e12, std::numeric_limits<qint32>::max()},
        {QStringLiteral("0"), std::nullopt},
        {QVariantList{640}, std::nullopt},
    };
    for (const auto &[stored, count] : cases)
        EXPECT_EQ(storedPixelCount(stored), count) << "stored " << plistString(stored).toStdString();
}
