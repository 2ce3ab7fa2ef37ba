#pragma once
// Colours a file describes by primaries and a tone curve instead of an ICC profile (PNG's
// gAMA and cHRM chunks, HEIF's nclx code points), converted to sRGB as browsers show them.

#include "PixelBuffer.h"

#include <QByteArray>
#include <optional>

struct Chromaticities {
    double whiteX, whiteY, redX, redY, greenX, greenY, blueX, blueY;
};

struct TaggedColour {
    std::optional<Chromaticities> primaries; // none: sRGB's
    // Stored value ^ exponent = linear light; 0 stands for the sRGB curve.
    double exponent = 0;
};

inline constexpr Chromaticities srgbChromaticities{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};

// True when the tags describe sRGB, so converting would change nothing.
bool isSrgb(const TaggedColour &colour);

// Converts the colour samples of `pixels` (grey or RGB, with or without alpha, 8 or 16
// bits) to sRGB in place. sRGB tags cost nothing. Grey pixels take the curve only: a
// grey's primaries do not change it. Other primaries go through lcms2 and need RGB.
void convertTaggedToSrgb(PixelBuffer &pixels, const TaggedColour &colour);

// An ICC profile with these primaries and curve (empty when lcms2 cannot make one).
QByteArray iccProfileFor(const TaggedColour &colour);

// PNG's gAMA value (gamma x 100000, the exponent that encodes linear light) as a tag; 0
// for 1/2.2 (45455 as written), which means sRGB, and nothing for a value no picture
// would use (a decoding exponent outside 0.1 to 10).
std::optional<double> exponentForPngGamma(int gamma);

// HEIF's (H.273) transfer characteristics as a tag: 4 gamma 2.2, 5 gamma 2.8, 8 linear;
// every other code, the BT.709 family among them, reads as the sRGB curve.
double exponentForTransfer(int transferCharacteristics);
