#include "FormatSizes.h"

#include "FormatStore.h"
#include "PlistValue.h"

#include <cmath>

namespace {

struct SizeField {
    qint64 scaleMode; // the mode that reads the field
    const QString &key;
    const char *name;
    const char *example;
};

const SizeField sizeFields[] = {
    {0, FormatKey::xabs, "Width in pixels", "a number of pixels such as 640"},
    {0, FormatKey::yabs, "Height in pixels", "a number of pixels such as 480"},
    {1, FormatKey::xratio, "Width multiple", "a plain multiple such as 2 or 0.5"},
    {1, FormatKey::yratio, "Height multiple", "a plain multiple such as 2 or 0.5"},
    {2, FormatKey::maxeither, "Longest side", "a number of pixels such as 800"},
};

// Positive also in the single precision the savers read sizes in.
bool isPositive(double value)
{
    const float f = float(value);
    return std::isfinite(f) && f > 0.0f;
}

std::optional<UnusableSize> check(const QVariantMap &record, const SizeField &field)
{
    const QString text = plistString(record.value(field.key)).trimmed();
    const QString name = QString::fromLatin1(field.name);
    if (const auto value = plistWholeNumber(text); value && isPositive(*value))
        return std::nullopt;
    // A multiple of "50%" would read as 50 times the size.
    if (field.scaleMode == 1 && text.endsWith(QLatin1Char('%'))) {
        const auto percent = plistWholeNumber(text.chopped(1));
        if (percent && isPositive(*percent))
            return UnusableSize{field.key, QStringLiteral("%1 is a percentage - please enter a plain multiple (%2 for %3)")
                                               .arg(name, QString::number(*percent / 100.0), text)};
    }
    return UnusableSize{field.key, QStringLiteral("%1 is not a positive number - please enter %2")
                                       .arg(name, QString::fromLatin1(field.example))};
}

} // namespace

std::optional<UnusableSize> firstUnusableSize(const QVariantMap &record)
{
    const qint64 scaleMode = recordInteger(record, FormatKey::scalemode);
    for (const SizeField &field : sizeFields)
        if (field.scaleMode == scaleMode)
            if (auto problem = check(record, field))
                return problem;
    return std::nullopt;
}
