#pragma once
// Where every picture of the list writes, decided for the whole list before anything is
// converted, so that every shard decides alike: an input is never overwritten, and of two
// pictures that would write the same path the earlier in the list keeps it.

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <vector>

struct PlannedOutput {
    QString path;       // absolute; empty when refused
    QVariantMap format; // the format record; empty for the base output
    QString refusal;    // why this output is not written
};

struct PlannedPicture {
    QString refusal; // why nothing of the picture is written
    std::vector<PlannedOutput> outputs; // the base output first, then the selected formats
};

struct OutputRules {
    QString folder;   // the output folder
    QString keepTree; // mirror the pictures' folders below this root; empty: all in `folder`
    qint64 fileFormat = 0;
    QVariantList formats; // the format records written beside each base output
};

std::vector<PlannedPicture> planOutputs(const QStringList &pictures, const OutputRules &rules);
