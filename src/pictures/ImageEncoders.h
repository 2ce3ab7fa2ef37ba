#pragma once
// Encoding finished pixels into the program's output types. Outputs carry no camera or
// location data and are tagged as sRGB.

#include "ImageEncoding.h"
#include "PixelBuffer.h"

#include <QByteArray>

// Encodes `pixels` as `encoding`; empty (with a log line) when that fails or the encoding
// is None. `compressionFactor` (0.0 smallest file, 1.0 best quality) is used by JPEG only:
// libjpeg quality = round(factor x 100), at least 1; 4:4:4 chroma from quality 90 upward,
// 4:2:0 below; optimised Huffman tables; transparent areas flattened over white.
// PNG keeps alpha and 16 bits; TIFF is LZW with the horizontal predictor and keeps alpha
// and 16 bits.
QByteArray encodeImage(const PixelBuffer &pixels, ImageEncoding encoding, float compressionFactor);

// The longest side an output of the encoding may have: what the format allows, and never
// more than the program reads back (PictureLimits::maxSide). 0 for None.
int largestEncodedSide(ImageEncoding encoding);

// The libjpeg quality (1-100) a compression factor maps onto.
int jpegQualityForCompressionFactor(float compressionFactor);
