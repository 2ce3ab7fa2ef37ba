#pragma once
// What the decoders share: resolution and orientation bookkeeping, EXIF reading,
// checked allocation and the conversion of tagged colours to sRGB. One function pair
// per codec reads a header (`probe...`) or decodes upright sRGB pixels (`decode...`).

#include "ColorManagement.h"
#include "ImageDecoders.h"

#include <QString>
#include <cstdint>

namespace codec {

struct Resolution {
    double x = 0; // dots per inch; 0 when the file says nothing
    double y = 0;
};

bool swapsSides(int orientation);
// Sizes after orientation, points from the resolution (72 dpi when there is none).
BitmapPageInfo pageInfo(int storedWidth, int storedHeight, Resolution dpi, int orientation);
// `value` per unit as dots per inch; unit 2 is inch, 3 centimetre, anything else none (0).
double toDpi(double value, int unit);

struct ExifFacts {
    int orientation = 1;
    Resolution dpi;
};
// `data` starts with "Exif\0\0", as in a JPEG's APP1 segment.
ExifFacts readExif(const unsigned char *data, unsigned size);

// A buffer within the picture limits, or null with the reason.
std::shared_ptr<PixelBuffer> createChecked(int width, int height, int channels, int bits, QString &error);
// Converts colour pixels tagged with `profile` to sRGB in place (grey is left alone).
void convertToSrgb(PixelBuffer &pixels, const QByteArray &profile);
// CMYK without a profile, the way a naive inverse would show it.
void naiveCmykRow(const uint8_t *cmyk, uint8_t *rgb, int width, bool inverted);
void unpremultiply16(PixelBuffer &pixels);

bool probeJpeg(const QByteArray &bytes, BitmapPageInfo &page, QString &error);
std::shared_ptr<PixelBuffer> decodeJpeg(const QByteArray &bytes, int shift, QString &error);
bool probePng(const QByteArray &bytes, BitmapPageInfo &page, QString &error);
std::shared_ptr<PixelBuffer> decodePng(const QByteArray &bytes, QString &error);
bool probeGif(const QByteArray &bytes, BitmapPageInfo &page, QString &error);
std::shared_ptr<PixelBuffer> decodeGif(const QByteArray &bytes, QString &error);
bool probeTiff(const QByteArray &bytes, std::vector<BitmapPageInfo> &pages, QString &error);
std::shared_ptr<PixelBuffer> decodeTiff(const QByteArray &bytes, int page, QString &error);
bool probeWebp(const QByteArray &bytes, BitmapPageInfo &page, QString &error);
std::shared_ptr<PixelBuffer> decodeWebp(const QByteArray &bytes, QString &error);
bool probeHeif(const QByteArray &bytes, BitmapPageInfo &page, QString &error);
std::shared_ptr<PixelBuffer> decodeHeif(const QByteArray &bytes, QString &error);

} // namespace codec
