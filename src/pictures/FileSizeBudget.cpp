#include "FileSizeBudget.h"

#include "ImageEncoders.h"
#include "UserDefaults.h"

namespace FileSizeBudget {

bool isUsable(qint64 kilobytes)
{
    return kilobytes >= 1 && kilobytes <= kMaxKilobytes;
}

qint64 storedMaxBytes(const UserDefaults &defaults)
{
    if (!defaults.boolForKey(keepUnderKey))
        return 0;
    const qint64 stored = defaults.integerForKey(kilobytesKey);
    return (isUsable(stored) ? stored : kFirstRunKilobytes) * kBytesPerKilobyte;
}

QString kilobytesText(qint64 bytes)
{
    return QStringLiteral("%1 kB").arg((bytes + kBytesPerKilobyte - 1) / kBytesPerKilobyte);
}

QString overBudgetReason(qint64 bytes, qint64 maxBytes, qint64 fileFormat)
{
    const OutputFileType type = outputFileTypeFor(fileFormat);
    const QString over = QStringLiteral("is %1, over the budget of %2").arg(kilobytesText(bytes), kilobytesText(maxBytes));
    if (type.qualityEnabled)
        return over + QStringLiteral(" even at the lowest quality");
    return over + QStringLiteral(": %1 has no quality to lower").arg(type.name);
}

} // namespace FileSizeBudget
