// quillpane-check-report: did a run convert every picture of its list?

#include "InputList.h"
#include "ReportCheck.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    InputSources sources;
    sources.nulSeparated = arguments.removeAll(QStringLiteral("-0")) > 0;
    if (arguments.size() < 2 || arguments.first().startsWith(QLatin1Char('-'))) {
        std::fputs("usage: quillpane-check-report [-0] LIST REPORT...\n"
                   "\n"
                   "Checks that every picture of LIST (as quillpane-convert --files-from LIST reads it,\n"
                   "-0 for NUL-separated) has a line in the reports (of every shard) and that the last\n"
                   "line about it has status \"ok\". Prints what is missing or failed; the exit status\n"
                   "is 0 when every picture is ok, 1 when not, 2 when the list cannot be read.\n",
                   stderr);
        return 2;
    }
    sources.listFile = arguments.takeFirst();
    InputList list;
    QString why;
    if (!gatherInputs(sources, list, why)) {
        std::fprintf(stderr, "quillpane-check-report: %s\n", qPrintable(why));
        return 2;
    }
    const ReportCheck check = checkReports(list.pictures, arguments);
    for (const QString &problem : list.problems + check.problems)
        std::printf("%s\n", qPrintable(problem));
    std::printf("%d of %d pictures ok\n", check.ok, check.pictures);
    return check.ok == check.pictures && check.problems.isEmpty() && list.problems.isEmpty() ? 0 : 1;
}
