#pragma once
// Encoding finished pixels into the program's output types. Outputs carry no camera or
// location data and are tagged as sRGB.

#include "ImageEncoding.h"
#include "PixelBuffer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Encodes `pixels` as `encoding`; empty (with a log line) when that fails or the encoding
// is None. `compressionFactor` (0.0 smallest file, 1.0 best quality) is used by the lossy
// encodings only, through their quality steps (see qualityStepFor):
// - JPEG: libjpeg quality 1-100; 4:4:4 chroma from quality 90 upward, 4:2:0 below;
//   optimised Huffman tables; transparent areas flattened over white; an sRGB profile.
// - WebP: libwebp quality 0-100, method 4; alpha kept (losslessly); an sRGB profile.
// - AVIF: AV1 quantizer 63 (step 0) to 0 (step 63), 4:2:0, 8 bits, encoder speed 8;
//   alpha kept at the colour's quantizer; tagged sRGB by its colour description (nclx).
// PNG keeps alpha and 16 bits; TIFF is LZW with the horizontal predictor and keeps alpha
// and 16 bits. `threads` bounds the encoder's own threads (0: one per core; AVIF only).
QByteArray encodeImage(const PixelBuffer &pixels, ImageEncoding encoding, float compressionFactor, int threads = 0);

// The steps of a lossy encoder's own quality scale, lowest to highest quality; a lossless
// encoding has the single step 0.
struct QualityScale {
    int lowest = 0;
    int highest = 0;
    bool hasSteps() const { return highest > lowest; }
};
QualityScale qualityScaleFor(ImageEncoding encoding);
// The step a compression factor maps onto (NaN and values outside 0-1 are held to the
// scale), and the factor that gives a step back.
int qualityStepFor(ImageEncoding encoding, float compressionFactor);
float compressionFactorFor(ImageEncoding encoding, int step);
// Encodes at one step of the encoding's quality scale (held to the scale).
QByteArray encodeImageAtQualityStep(const PixelBuffer &pixels, ImageEncoding encoding, int step, int threads = 0);

// The longest side an output of the encoding may have: what the format allows, and never
// more than the program reads back (PictureLimits::maxSide). 0 for None.
int largestEncodedSide(ImageEncoding encoding);

// The libjpeg quality (1-100) a compression factor maps onto.
int jpegQualityForCompressionFactor(float compressionFactor);

// What the output file type ("fileFormat", the file type pop-up's tag) means for every
// path that writes or shows a file: one table, read by the conversion, the preview,
// the save panel, the batch naming and the command line.
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
