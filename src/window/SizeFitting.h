#pragma once
// How an output size follows a picture's proportions. The window's proportion lock, the
// batch and the command line fit sizes with these, so a picture gets the same size
// whichever road it takes.

#include <QSizeF>
#include <QtGlobal>

namespace SizeFitting {

// Width over height of a picture of that size in points, in single precision; 0 when a
// side is 0 (no proportions to follow).
float aspectRatio(QSizeF points);

// The height that follows a width at a ratio, and the width that follows a height, as
// whole pixels: halves rounded away from zero, values beyond 32 bits held at its ends.
qint32 heightForWidth(float width, float aspectRatio);
qint32 widthForHeight(float height, float aspectRatio);

} // namespace SizeFitting
