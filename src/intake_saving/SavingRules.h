#pragma once
// The widget-free rules of saving: where an additional format's file goes, what a batch
// output is called, how a stored format record becomes conversion settings, and the size
// a format's output will have (for the upscaling test). Pure functions.

#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace SavingRules {

// The record's "modifier", or its "name" when it has no "modifier".
QString formatModifier(const QVariantMap &format);

// "%@%@.%@": the base path without its final extension, the modifier, a full stop and the
// base path's extension (a base path without extension gets the modifier only). Empty when
// the result would not be a file beside the base output in its folder (a modifier holding
// a path separator) or would be the base output itself; `refusal` then says so.
QString additionalFormatPath(const QString &basePath, const QString &modifier, QString *refusal = nullptr);

// The path a save panel's answer is written at, carrying an extension of the output type
// (the panel offers no other): another picture type's extension is replaced by the type's
// own ("shot.png" -> "shot.jpg"); a name without one, or with one no picture type has
// ("my.photo"), gets the type's added. Unchanged for a type that has no extension.
QString withOutputExtension(const QString &path, qint64 fileFormat);
// The same for a list of accepted extensions, the first being the one given.
QString withExtension(const QString &path, const QStringList &accepted);

// The picture's file name without its extension, a full stop and the batch extension of
// the output type ("jpg", "png", "tiff"); the bare name for a type without one.
QString batchOutputName(const QString &picturePath, qint64 fileFormat);

// How the base output's size follows each picture, as the window said when Save was pressed.
struct BaseSizeRule {
    QSizeF fields;               // the size fields
    bool proportionLock = false; // the height follows the picture's proportions
    bool fitWithin = false;      // the fields are a box each picture is fitted into
    bool neverEnlarge = false;   // fitting: a picture that fits the box keeps its own size
};

// The size a batch writes a picture at (points: its nominal size; largestPixels: its
// largest pixel size): the fields; with the lock, the height follows the picture's
// proportions, as the window fits the fields to a picture it adopts; fitting within the
// box, as SizeFitting::fitWithinBox.
QSizeF batchOutputSize(const BaseSizeRule &rule, QSizeF points, QSize largestPixels);

// The conversion settings of an additional format: a copy of the stored record with the
// reference size in "xabs"/"yabs" (scale mode 1: the base output's size when "relativeto"
// is 1, else the picture's nominal size; scale mode 2: the base output's size), "resamplemode"
// 3 replaced by the base settings' choice, and the adjustment keys taken from the base
// settings. Every other entry travels unchanged.
QVariantMap prepareFormatSettings(const QVariantMap &format, const QVariantMap &baseSettings, QSizeF baseOutputSize,
                                  QSizeF pictureNominalSize);

// The output size of a prepared record by the driver's size rule, in single precision.
QSizeF formatOutputSize(const QVariantMap &prepared);

// Whether an output of that size is larger than the picture's largest pixel size in
// either dimension (strictly).
bool isUpscaled(QSizeF outputSize, QSize largestPixelSize);

} // namespace SavingRules
