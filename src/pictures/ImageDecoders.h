#pragma once
// Decoders for the picture types the program opens. Each works on the file's bytes,
// recognises the type from the content alone, enforces the pixel limits before it
// allocates, and hands back upright sRGB pixels (EXIF or TIFF orientation applied,
// embedded ICC profiles converted). Failures return null with the reason in `error`.
// HEIF covers HEIC and AVIF alike: one container, read by libheif.

#include "PixelBuffer.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

enum class PictureFormat { Unknown, JPEG, PNG, GIF, TIFF, PDF, EPS, WebP, HEIF };

// The file name endings of the types above, lower case: how a folder's pictures are told
// from its other files without reading them.
const QStringList &pictureFileExtensions();

// The format the bytes' start announces (PDF's marker may sit up to 1 KB in).
PictureFormat sniffPictureFormat(const QByteArray &bytes);

// The sizes a header gives away, without decoding pixels.
struct BitmapPageInfo {
    int width = 0;  // after orientation
    int height = 0; // after orientation
    QSizeF points;  // after orientation, from the resolution (72 dpi when none)
};

// Reads the headers of a bitmap file (every page of a TIFF): false with `error` when the
// bytes are not a picture this program reads or exceed the limits.
bool probeBitmap(const QByteArray &bytes, PictureFormat format, std::vector<BitmapPageInfo> &pages, QString &error);

// Decodes page `page` (TIFF; 0 otherwise). `shift` 1-3 asks JPEG for 1/2, 1/4 or 1/8 size
// through DCT scaling (rounded up, as libjpeg does); other formats ignore it.
std::shared_ptr<PixelBuffer> decodeBitmap(const QByteArray &bytes, PictureFormat format, int page, int shift, QString &error);

// Turns pixels as stored into pixels as shown, for EXIF/TIFF orientation values 1-8.
std::shared_ptr<PixelBuffer> applyOrientation(std::shared_ptr<PixelBuffer> pixels, int orientation);

// Pixels with premultiplied alpha made straight, in place (8-bit, alpha last).
void unpremultiply(PixelBuffer &pixels);
