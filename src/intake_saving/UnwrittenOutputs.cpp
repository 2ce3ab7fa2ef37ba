#include "UnwrittenOutputs.h"

#include <QFileInfo>
#include <QStringList>

namespace UnwrittenOutputs {

namespace {

struct Headings {
    QString nothing;                  // no output has a path
    QString oneIn, one, manyIn, many; // %1 the folder; for many, %1 the count and %2 the folder
};

QString listing(const std::vector<UnwrittenOutput> &outputs, const Headings &headings)
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
        heading = headings.nothing;
    else if (files == 1)
        heading = oneFolder ? headings.oneIn.arg(folder) : headings.one;
    else
        heading = oneFolder ? headings.manyIn.arg(files).arg(folder) : headings.many.arg(files);

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

} // namespace

QString alertTitle()
{
    return QStringLiteral("Files Not Saved");
}

QString alertText(const std::vector<UnwrittenOutput> &outputs)
{
    return listing(outputs, {QStringLiteral("Not everything could be saved:"), QStringLiteral("This file could not be saved in %1:"),
                             QStringLiteral("This file could not be saved:"), QStringLiteral("These %1 files could not be saved in %2:"),
                             QStringLiteral("These %1 files could not be saved:")});
}

QString overBudgetTitle()
{
    return QStringLiteral("Files Over Budget");
}

QString overBudgetText(const std::vector<UnwrittenOutput> &outputs)
{
    return listing(outputs, {QStringLiteral("Not everything is within the budget:"),
                             QStringLiteral("This file in %1 was saved larger than the budget:"),
                             QStringLiteral("This file was saved larger than the budget:"),
                             QStringLiteral("These %1 files in %2 were saved larger than the budget:"),
                             QStringLiteral("These %1 files were saved larger than the budget:")});
}

Alert afterSaveAlert(const std::vector<UnwrittenOutput> &unwritten, const std::vector<UnwrittenOutput> &overBudget)
{
    if (unwritten.empty() && overBudget.empty())
        return {};
    if (unwritten.empty())
        return {overBudgetTitle(), overBudgetText(overBudget)};
    QString text = alertText(unwritten);
    if (!overBudget.empty())
        text += QStringLiteral("\n\n") + overBudgetText(overBudget);
    return {alertTitle(), text};
}

} // namespace UnwrittenOutputs
