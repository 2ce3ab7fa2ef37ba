#pragma once
// Colour profiles through lcms2: the sRGB profile that outputs are tagged with, and the
// conversion of decoded pixels from an embedded profile to sRGB.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// The sRGB ICC profile (made once by lcms2) that encoders embed.
const QByteArray &srgbIccProfile();

// The layouts a decoder hands over for conversion. CMYK samples may be stored inverted
// (Adobe's JPEGs), which the profile path must know.
enum class IccLayout { Grey8, Grey16, RGB8, RGB16, RGBA8, RGBA16, CMYK8, InvertedCMYK8 };

// Converts `pixels` pixels of `layout` tagged with `profile` into sRGB of the output layout
// (RGB8/RGB16/RGBA8/RGBA16; CMYK goes to RGB8). Alpha is copied through. `in` and `out` may be
// the same row when the layouts have the same size. Transforms are cached per profile and are
// safe to use from several threads. False when the profile is unusable or does not fit the
// layout (the caller then keeps the pixels as they are, taking them as sRGB).
class IccTransform {
public:
    // Null when `profile` is not a usable profile for `layout` or is sRGB already.
    static const IccTransform *forProfile(const QByteArray &profile, IccLayout in, IccLayout out);
    void apply(const void *in, void *out, size_t pixels) const;

    void *handle = nullptr;
};

// True when the profile describes a CMYK colour space (decoders choose their layout by it).
bool iccProfileIsCmyk(const QByteArray &profile);
bool iccProfileIsRgb(const QByteArray &profile);
