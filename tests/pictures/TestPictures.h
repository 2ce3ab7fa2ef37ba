#pragma once
// Pictures for the tests: buffers made in memory, and the files in data/, written once through the codec libraries
// themselves (data/README), so the decoders are checked against files they did not write.

#include "PixelBuffer.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace TestPictures {

// A w x h buffer whose every pixel is `colour(x, y)` (channels values, 8 or 16 bits).
std::shared_ptr<PixelBuffer> make(int width, int height, int channels, int bits,
                                  const std::function<void(int x, int y, uint16_t *out)> &colour);

// A photo-like 8-bit RGB picture: soft gradients, hard edges and fine grain, so that
// encoders' files grow with their quality as they do on photographs.
std::shared_ptr<PixelBuffer> photo(int width, int height);

// A file of data/: its path and its bytes.
QString path(const QString &name);
QByteArray bytes(const QString &name);

// The bytes with their first orientation tag (little-endian EXIF or TIFF, as data/'s files
// have it) set to `orientation`.
QByteArray withOrientation(QByteArray bytes, int orientation);

} // namespace TestPictures
