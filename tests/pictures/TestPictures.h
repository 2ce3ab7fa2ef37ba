#pragma once
// Small pictures made by the tests themselves, through the codec libraries directly, so
// the decoders are checked against files they did not write.

#include "PixelBuffer.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace TestPictures {

// A w x h buffer whose every pixel is `colour(x, y)` (channels values, 8 or 16 bits).
std::shared_ptr<PixelBuffer> make(int width, int height, int channels, int bits,
                                  const std::function<void(int x, int y, uint16_t *out)> &colour);

// A photo-like 8-bit RGB picture: soft gradients, hard edges and fine grain, so that
// encoders' files grow with their quality as they do on photographs.
std::shared_ptr<PixelBuffer> photo(int width, int height);

// An EXIF APP1 payload ("Exif\0\0" + little-endian TIFF) with orientation and, when
// dpi > 0, X/Y resolution in dots per inch.
QByteArray exif(int orientation, int dpi = 0);

struct JpegOptions {
    int quality = 95;
    bool progressive = false;
    bool cmyk = false;        // Adobe-style inverted CMYK; pixels give C, M, Y, K
    QByteArray exif;          // APP1 payload
    QByteArray icc;           // written as APP2 ICC_PROFILE
    int jfifDpi = 0;          // JFIF density in dots per inch
};
QByteArray jpeg(const PixelBuffer &pixels, const JpegOptions &options = {});

struct PngOptions {
    bool interlaced = false;
    bool palette = false;          // 8-bit RGB(A) pixels become a palette (+ tRNS for alpha)
    int bitDepth = 0;              // 0: the buffer's; grey below 8 packs samples
    QByteArray icc;
    int dpi = 0;                   // pHYs
    int transparentGrey = -1;      // tRNS for a grey picture
};
QByteArray png(const PixelBuffer &pixels, const PngOptions &options = {});

// An 8-bit palette GIF of the given index rows (width x height indices), a colour table of
// `colours` RGB triples, an optional transparent index and interlacing.
QByteArray gif(int width, int height, const std::vector<uint8_t> &indices, const std::vector<uint8_t> &colours,
               int transparentIndex = -1, bool interlaced = false);

struct TiffPageSpec {
    std::shared_ptr<PixelBuffer> pixels;
    int compression = 1; // COMPRESSION_* value
    bool tiled = false;
    bool associatedAlpha = false;
    int orientation = 1;
    double dpi = 0;
    QByteArray icc;
    bool cmyk = false; // 4 channels are C, M, Y, K
};
QByteArray tiff(const std::vector<TiffPageSpec> &pages);

// A one-page PDF of w x h points showing a red left half and a blue right half.
QByteArray pdf(int widthPoints, int heightPoints, int rotate = 0);
// An EPS of w x h points: a red left half and a blue right half, transparent elsewhere
// when `margin` leaves room around them.
QByteArray eps(int widthPoints, int heightPoints);

// lcms2-made RGB profiles with other primaries than sRGB.
QByteArray displayP3Profile();
QByteArray adobeRgbProfile();

} // namespace TestPictures
