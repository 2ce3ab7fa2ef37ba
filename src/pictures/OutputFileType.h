#pragma once
// What the output file type ("fileFormat", the file type pop-up's tag) means for every
// path that writes or shows a file: one table, read by the conversion, the preview,
// the save panel, the batch naming and the command line.

#include "ImageEncoding.h"

#include <QString>
#include <QStringList>

struct OutputFileType {
    ImageEncoding encoding;     // None: nothing is encoded
    QString title;              // in the file type pop-up
    QString name;               // on the command line; empty: none
    QString tempFileName;       // temp preview file in the support folder
    QString batchExtension;     // extension of batch outputs; empty: the bare name
    QStringList savePanelTypes; // types the save panel accepts; empty: no restriction
    bool qualityEnabled;        // lossy: the quality slider and the size budget apply
};

// 0 jpeg, 1 png, 2 tiff, 3 webp, 4 avif; any other value encodes nothing and uses the jpg
// temp file.
OutputFileType outputFileTypeFor(qint64 fileFormat);
// The values that name an output type, in pop-up order.
QList<qint64> outputFileTypeValues();
// Full path of the temp preview file for the value, in the support folder.
QString tempPreviewPath(qint64 fileFormat);
