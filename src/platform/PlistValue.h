#pragma once
// Reading numbers, booleans and text out of property-list values (QVariant) by the
// platform's rules: text gives the number written at its start (leading white space
// skipped), an integer reading stops at the decimal point, empty or non-numeric text
// gives 0, and a missing value reads as 0.

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

double plistDouble(const QVariant &value);
float plistFloat(const QVariant &value);
// The number when the whole text, white space around it aside, is one number in the
// notation above; nothing for any other text ("", "abc", "50%", "1,5", "7e").
std::optional<double> plistWholeNumber(const QString &text);
qint64 plistInteger(const QVariant &value); // 64-bit, clamped at the ends
int plistInt(const QVariant &value);        // 32-bit, clamped at the ends
bool plistBool(const QVariant &value);
// Text of a string value, or the printed form of a number; empty for anything else.
QString plistString(const QVariant &value);

// True for the kinds of value a property list can hold (text, numbers, booleans,
// lists and dictionaries of such values).
bool isPropertyListValue(const QVariant &value);

// Record readers: a missing key reads as 0 / false / "".
inline double recordDouble(const QVariantMap &record, const QString &key) { return plistDouble(record.value(key)); }
inline float recordFloat(const QVariantMap &record, const QString &key) { return plistFloat(record.value(key)); }
inline qint64 recordInteger(const QVariantMap &record, const QString &key) { return plistInteger(record.value(key)); }
inline int recordInt(const QVariantMap &record, const QString &key) { return plistInt(record.value(key)); }
inline bool recordBool(const QVariantMap &record, const QString &key) { return plistBool(record.value(key)); }
