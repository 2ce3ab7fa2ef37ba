#pragma once
// Whether a run (one command or many shards) converted every picture of its list: each
// picture needs a report line, and the last line about it must say "ok".

#include <QString>
#include <QStringList>

struct ReportCheck {
    int pictures = 0;
    int ok = 0;
    QStringList problems; // a line for each picture not ok and each report line not readable
};

ReportCheck checkReports(const QStringList &pictures, const QStringList &reportFiles);
