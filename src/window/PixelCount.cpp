#include "PixelCount.h"

#include "PlistValue.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qsizetype kMaxDigits = 10;

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

bool isIgnoredInPixelCount(QChar c)
{
    return c == QLatin1Char(',') || c.isSpace();
}

std::optional<QString> pixelCountDigits(const QString &text)
{
    QString digits;
    digits.reserve(text.size());
    for (const QChar c : text) {
        if (isAsciiDigit(c))
            digits += c;
        else if (!isIgnoredInPixelCount(c))
            return std::nullopt;
    }
    return digits;
}

QValidator::State PixelCountValidator::validate(QString &input, int &pos) const
{
    const std::optional<QString> digits = pixelCountDigits(input);
    if (!digits || digits->size() > kMaxDigits)
        return Invalid;
    // The cursor stays after the same digit it followed.
    pos -= int(std::count_if(input.cbegin(), input.cbegin() + std::clamp<qsizetype>(pos, 0, input.size()),
                             isIgnoredInPixelCount));
    input = *digits;
    return Acceptable;
}

std::optional<qint32> storedPixelCount(const QVariant &stored)
{
    QVariant value = stored;
    if (stored.typeId() == QMetaType::QString) {
        QString text = stored.toString();
        text.removeIf(isIgnoredInPixelCount);
        value = text;
    }
    const qint64 count = plistInteger(value);
    if (count < 1)
        return std::nullopt;
    return qint32(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}
