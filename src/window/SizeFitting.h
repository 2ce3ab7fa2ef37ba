#pragma once
// How an output size follows a picture's proportions. The window's proportion lock, the
// batch and the command line fit sizes with these, so a picture gets the same size
// whichever road it takes.

#include <QSize>
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

// A size read from the fields as whole pixels, held between 0 and the largest 32-bit count.
QSize wholePixels(QSizeF size);

// The size a picture has of its own: its largest pixel size, or, for a picture without
// pixels (a vector drawing), its size in points with the fractions dropped.
QSize ownPixelSize(QSize largestPixelSize, QSizeF points);

// The largest size with the picture's proportions that fits within the box, rounded as the
// lock rounds: the side that meets the box is the box's, the other follows it. Never below
// one pixel a side, so a sliver of a picture still gives a file. With neverEnlarge, a
// picture whose own size fits within the box keeps that size. A box without area, or a
// picture without proportions, gives the box.
QSize fitWithinBox(QSize box, float aspectRatio, QSize ownSize, bool neverEnlarge);

} // namespace SizeFitting
