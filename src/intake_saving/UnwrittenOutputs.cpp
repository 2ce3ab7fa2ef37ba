#include "UnwrittenOutputs.h"

#include <QFileInfo>
#include <QStringList>

namespace UnwrittenOutputs {

QString alertTitle()
{
    return QStringLiteral("Files Not Saved");
}

QString alertText(const std::vector<UnwrittenOutput> &outputs)
{
    QString folder;
    bool oneFolder = true;
    int files = 0;
    for (const UnwrittenOutput &output : outputs) {
        if (output.path.isEmpty())
            continue;
        const QString own = QFileInfo(output.path).absolutePath();
        if (files++ == 0)
            folder = own;
        else
            oneFolder = oneFolder && own == folder;
    }
    QString heading;
    if (files == 0)
        heading = QStringLiteral("Not everything could be saved:");
    else if (files == 1)
        heading = oneFolder ? QStringLiteral("This file could not be saved in %1:").arg(folder) : QStringLiteral("This file could not be saved:");
    else
        heading = oneFolder ? QStringLiteral("These %1 files could not be saved in %2:").arg(files).arg(folder)
                            : QStringLiteral("These %1 files could not be saved:").arg(files);

    QStringList lines;
    for (const UnwrittenOutput &output : outputs) {
        if (lines.size() == kListed)
            break;
        if (output.path.isEmpty())
            lines << output.reason;
        else
            lines << (oneFolder ? QFileInfo(output.path).fileName() : output.path) + QLatin1Char(' ') + output.reason;
    }
    const int rest = int(outputs.size()) - int(lines.size());
    if (rest > 0)
        lines << QStringLiteral("and %1 more, each named in the log").arg(rest);
    return heading + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
}

} // namespace UnwrittenOutputs
