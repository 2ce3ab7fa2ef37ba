// Arbitrary property-list values where numbers, booleans and records belong: every
// reader answers something and nothing crashes.

#include "FormatStore.h"
#include "JsonSettingsFormat.h"
#include "PlistValue.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void readEveryWay(const QVariant &value, int depth)
{
    const double d = plistDouble(value);
    const qint64 i = plistInteger(value);
    (void)plistFloat(value);
    (void)plistInt(value);
    (void)plistBool(value);
    (void)plistString(value);
    (void)isPropertyListValue(value);
    // An integer reading never exceeds the number read as a double in size, unless a
    // negative exponent shrinks the double: the integer stops at the "e", so "5e-3"
    // reads as 5 and 0.005.
    const bool exponent = value.typeId() == QMetaType::QString && value.toString().contains(QLatin1Char('e'), Qt::CaseInsensitive);
    if (!exponent && std::isfinite(d) && std::fabs(double(i)) > std::fabs(d) + 1.0)
        std::abort();
    if (depth > 8)
        return;
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        (void)FormatStore::formatWithNameFromArray(QStringLiteral("2x"), list);
        (void)FormatStore::formatWithModifierFromArray(QStringLiteral("@2x"), list);
        for (const QVariant &item : list)
            readEveryWay(item, depth + 1);
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap record = value.toMap();
        for (auto it = record.cbegin(); it != record.cend(); ++it)
            readEveryWay(it.value(), depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QSettings::SettingsMap map;
    if (parseJsonSettings(bytes, map)) {
        readEveryWay(QVariant(QVariantMap(map)), 0);
    } else {
        readEveryWay(QString::fromUtf8(bytes), 0); // the bytes as text typed into a field
    }
    return 0;
}
