#pragma once
// What the output file type ("fileFormat", the file type pop-up's tag) means for every
// path that writes or shows a file: one table, read by the conversion, the preview,
// the save panel and the batch naming.

#include "ImageEncoding.h"

#include <QString>
#include <QStringList>

struct OutputFileType {
    ImageEncoding encoding;     // None: nothing is encoded
    QString tempFileName;       // temp preview file in the support folder
    QString batchExtension;     // extension of batch outputs; empty: the bare name
    QStringList savePanelTypes; // types the save panel accepts; empty: no restriction
    bool qualityEnabled;        // whether the quality slider applies
};

// 0 jpeg, 1 png, 2 tiff; any other value encodes nothing and uses the jpg temp file.
OutputFileType outputFileTypeFor(qint64 fileFormat);
// Full path of the temp preview file for the value, in the support folder.
QString tempPreviewPath(qint64 fileFormat);
