#include "PlistValue.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isNumberType(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isFloatType(const QVariant &v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

// Position after the leading white space (spaces, tabs, line ends).
qsizetype skipSpace(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i;
}

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The decimal number written at the start of the text, in the plain notation
// [sign] digits [. digits] [e [sign] digits]; 0 when none is there. `end` receives the
// position after the number, 0 when there is none.
double leadingDouble(const QString &text, qsizetype *end = nullptr)
{
    if (end)
        *end = 0;
    qsizetype i = skipSpace(text);
    std::string number;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        if (text.at(i) == QLatin1Char('-'))
            number += '-';
        ++i;
    }
    bool digits = false;
    while (i < text.size() && isAsciiDigit(text.at(i))) {
        number += char(text.at(i).unicode());
        digits = true;
        ++i;
    }
    if (i < text.size() && text.at(i) == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < text.size() && isAsciiDigit(text.at(i))) {
            number += char(text.at(i).unicode());
            digits = true;
            ++i;
        }
    }
    if (!digits)
        return 0.0;
    if (i + 1 < text.size() && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-'))
            exponent += char(text.at(j++).unicode());
        if (j < text.size() && isAsciiDigit(text.at(j))) {
            while (j < text.size() && isAsciiDigit(text.at(j)))
                exponent += char(text.at(j++).unicode());
            number += exponent;
            i = j;
        }
    }
    if (end)
        *end = i;
    // The C locale keeps the full stop as the decimal mark whatever the person's locale is.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale); // overflow gives infinity, underflow 0
}

// The integer written at the start of the text; stops at the first non-digit
// (so at a decimal point), clamped to the 64-bit range.
qint64 leadingInteger(const QString &text)
{
    qsizetype i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 magnitude = 0;
    while (i < text.size() && isAsciiDigit(text.at(i))) {
        const unsigned digit = text.at(i).unicode() - '0';
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
        ++i;
    }
    if (negative)
        return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    return qint64(magnitude);
}

qint64 clampToInteger(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(d); // toward zero
}

// The platform's reading of a string as a boolean: after white space, an optional
// sign and leading zeros, "Y", "y", "T", "t" or a digit 1-9 means true.
bool textBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0
        || trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    qsizetype i = skipSpace(text);
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    while (i < text.size() && text.at(i) == QLatin1Char('0'))
        ++i;
    if (i >= text.size())
        return false;
    const QChar c = text.at(i);
    return c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t')
        || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
}

} // namespace

double plistDouble(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return leadingDouble(value.toString());
    if (isNumberType(value))
        return value.toDouble();
    return 0.0;
}

std::optional<double> plistWholeNumber(const QString &text)
{
    qsizetype end = 0;
    const double value = leadingDouble(text, &end);
    if (end == 0)
        return std::nullopt;
    for (qsizetype i = end; i < text.size(); ++i)
        if (!text.at(i).isSpace())
            return std::nullopt;
    return value;
}

float plistFloat(const QVariant &value)
{
    return float(plistDouble(value));
}

qint64 plistInteger(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return leadingInteger(value.toString());
    if (isFloatType(value))
        return clampToInteger(value.toDouble());
    if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong)
        return qint64(std::min<quint64>(value.toULongLong(), quint64(std::numeric_limits<qint64>::max())));
    if (isNumberType(value))
        return value.toLongLong();
    return 0;
}

int plistInt(const QVariant &value)
{
    const qint64 v = plistInteger(value);
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool plistBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return textBool(value.toString());
    if (isFloatType(value))
        return value.toDouble() != 0.0;
    if (isNumberType(value))
        return value.toLongLong() != 0;
    return false;
}

QString plistString(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isFloatType(value)) {
        // Shortest text that reads back as the same value, at the value's own precision.
        char buffer[64];
        const auto result = value.typeId() == QMetaType::Float
            ? std::to_chars(buffer, buffer + sizeof buffer, value.toFloat())
            : std::to_chars(buffer, buffer + sizeof buffer, value.toDouble());
        return QString::fromLatin1(buffer, result.ptr - buffer);
    }
    if (isNumberType(value))
        return QString::number(value.toLongLong());
    return QString();
}

bool isPropertyListValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString || isNumberType(value))
        return true;
    if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant &item : value.toList())
            if (!isPropertyListValue(item))
                return false;
        return true;
    }
    if (value.typeId() == QMetaType::QStringList)
        return true;
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            if (!isPropertyListValue(it.value()))
                return false;
        return true;
    }
    return false;
}
