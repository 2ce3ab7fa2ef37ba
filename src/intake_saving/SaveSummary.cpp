#include "SaveSummary.h"

#include <QDir>

QString SaveSummary::text() const
{
    const QString where = QDir::toNativeSeparators(folder);
    QString text = written == 0   ? QStringLiteral("Saved no files to %1").arg(where)
                   : written == 1 ? QStringLiteral("Saved 1 file to %1").arg(where)
                                  : QStringLiteral("Saved %1 files to %2").arg(written).arg(where);
    if (ending == Ending::Cancelled)
        text += QStringLiteral("\nThe batch was cancelled before picture %1 of %2.").arg(picture).arg(pictures);
    else if (ending == Ending::Stopped)
        text += QStringLiteral("\nThe batch stopped at picture %1 of %2: %3.").arg(picture).arg(pictures).arg(whyStopped);
    if (!unwritten.empty())
        text += QStringLiteral("\n\n") + UnwrittenOutputs::alertText(unwritten);
    if (!overBudget.empty())
        text += QStringLiteral("\n\n") + UnwrittenOutputs::overBudgetText(overBudget);
    return text;
}
