#pragma once
// Small pictures made by the tests themselves, through the codec libraries directly, so
// the decoders are checked against files they did not write.

#include "PixelBuffer.h"

#include <QByteArray>
#include <QList>
#include <lcms2.h>
#include <QPoint>
#include <QSize>
#include <array>
#include <functional>
#include <memory>
#include <vector>

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
    int gamma = 0;                 // gAMA (gamma x 100000) when above 0
    std::array<double, 8> chromaticities{}; // cHRM (white, red, green, blue x and y) when white x is above 0
    bool srgbChunk = false;
};
QByteArray png(const PixelBuffer &pixels, const PngOptions &options = {});

// An 8-bit palette GIF of the given index rows (width x height indices), a colour table of
// `colours` RGB triples, an optional transparent index and interlacing; its screen is
// `screen` when larger than the frame, which then lies at `at`.
QByteArray gif(int width, int height, const std::vector<uint8_t> &indices, const std::vector<uint8_t> &colours,
               int transparentIndex = -1, bool interlaced = false, QSize screen = {}, QPoint at = {});

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

// A PDF of the given objects, numbered from 1 (object 1 the catalog), and a stream object.
QByteArray pdfOf(const QList<QByteArray> &objects);
QByteArray pdfStream(const QByteArray &dictionary, const QByteArray &content);
// A one-page PDF of w x h points showing a red left half and a blue right half.
QByteArray pdf(int widthPoints, int heightPoints, int rotate = 0);
// An EPS of w x h points: a red left half and a blue right half.
QByteArray eps(int widthPoints, int heightPoints);

struct WebpOptions {
    bool lossless = false;
    int quality = 90;
    QByteArray exif; // the EXIF chunk as written (with or without "Exif\0\0" before it)
    QByteArray icc;
    // Frames after the first make an animation, each shown 100 ms and covering the canvas.
    std::vector<std::shared_ptr<PixelBuffer>> laterFrames;
    // An animation's canvas when larger than its first frame, and where that frame lies
    // on it (even offsets).
    int canvasWidth = 0, canvasHeight = 0, firstX = 0, firstY = 0;
};
// Through libwebp (8-bit RGB or RGBA pixels).
QByteArray webp(const PixelBuffer &pixels, const WebpOptions &options = {});

// Colour signalled by code points (ITU-T H.273) instead of a profile.
struct Nclx {
    int primaries = 1; // 1 BT.709/sRGB, 9 BT.2020, 12 Display P3
    int transfer = 13; // 13 sRGB, 8 linear, 4 gamma 2.2
};

struct HeifOptions {
    int orientation = 1;  // EXIF's numbering, stored as the container's irot/imir
    QByteArray exif;      // "Exif\0\0" + TIFF, stored as an EXIF item whatever orientation it names
    QByteArray icc;
    Nclx nclx;            // written when there is no ICC profile
    int bitDepth = 8;     // 8 or 10; 10 takes 16-bit pixels
    int quality = 90;
    // AVIF only: frames after the first make an image sequence.
    std::vector<std::shared_ptr<PixelBuffer>> laterFrames;
};
// HEVC in HEIF through libheif and x265.
QByteArray heic(const PixelBuffer &pixels, const HeifOptions &options = {});
// AV1 in HEIF through libavif and aom.
QByteArray avif(const PixelBuffer &pixels, const HeifOptions &options = {});

// An lcms2-made RGB profile of these primaries (D65 white) and a pure power curve, or sRGB's
// curve when `gamma` is 0.
QByteArray rgbProfile(cmsCIExyYTRIPLE primaries, double gamma);
QByteArray displayP3Profile();
QByteArray adobeRgbProfile();

} // namespace TestPictures
