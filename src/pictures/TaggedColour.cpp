#include "TaggedColour.h"

#include "DecoderSupport.h"
#include "Log.h"

#include <cmath>
#include <lcms2.h>
#include <vector>

namespace {

bool sameAsSrgb(const std::optional<Chromaticities> &p)
{
    if (!p)
        return true;
    const Chromaticities &s = srgbChromaticities;
    const double got[] = {p->whiteX, p->whiteY, p->redX, p->redY, p->greenX, p->greenY, p->blueX, p->blueY};
    const double want[] = {s.whiteX, s.whiteY, s.redX, s.redY, s.greenX, s.greenY, s.blueX, s.blueY};
    for (int i = 0; i < 8; ++i)
        if (std::abs(got[i] - want[i]) > 0.0005)
            return false;
    return true;
}

double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// Every colour sample through stored^exponent, then the sRGB curve; alpha stays.
template <typename Sample>
void applyCurve(PixelBuffer &pixels, double exponent)
{
    constexpr int top = Sample(~Sample(0));
    std::vector<Sample> table(size_t(top) + 1);
    for (int v = 0; v <= top; ++v)
        table[size_t(v)] = Sample(std::lround(top * srgbEncoded(std::pow(double(v) / top, exponent))));
    const int colours = pixels.hasAlpha() ? pixels.channels - 1 : pixels.channels;
    for (int y = 0; y < pixels.height; ++y) {
        auto *p = reinterpret_cast<Sample *>(pixels.row(y));
        for (int x = 0; x < pixels.width; ++x, p += pixels.channels)
            for (int c = 0; c < colours; ++c)
                p[c] = table[p[c]];
    }
}

} // namespace

bool isSrgb(const TaggedColour &colour)
{
    return colour.exponent == 0 && sameAsSrgb(colour.primaries);
}

void convertTaggedToSrgb(PixelBuffer &pixels, const TaggedColour &colour)
{
    if (isSrgb(colour))
        return;
    if (pixels.channels >= 3 && !sameAsSrgb(colour.primaries)) {
        const QByteArray profile = iccProfileFor(colour);
        if (profile.isEmpty())
            qpLog(QStringLiteral("Ignoring colour primaries that describe no colour space; taking the picture as sRGB"));
        codec::convertToSrgb(pixels, profile);
        return;
    }
    if (colour.exponent == 0)
        return; // a grey's primaries alone change nothing
    if (pixels.bitsPerChannel == 16)
        applyCurve<uint16_t>(pixels, colour.exponent);
    else
        applyCurve<uint8_t>(pixels, colour.exponent);
}

QByteArray iccProfileFor(const TaggedColour &colour)
{
    const Chromaticities c = colour.primaries.value_or(srgbChromaticities);
    const cmsCIExyY white{c.whiteX, c.whiteY, 1};
    const cmsCIExyYTRIPLE primaries{{c.redX, c.redY, 1}, {c.greenX, c.greenY, 1}, {c.blueX, c.blueY, 1}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve *curve = colour.exponent > 0 ? cmsBuildGamma(nullptr, colour.exponent)
                                              : cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    if (!curve)
        return {};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    QByteArray out;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        out.resize(qsizetype(size));
        if (!cmsSaveProfileToMem(profile, out.data(), &size))
            out.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return out;
}

std::optional<double> exponentForPngGamma(int gamma)
{
    if (std::abs(gamma - 45455) <= 1)
        return 0.0;
    if (gamma <= 0)
        return std::nullopt;
    const double exponent = 100000.0 / gamma;
    if (exponent < 0.1 || exponent > 10)
        return std::nullopt;
    return exponent;
}

double exponentForTransfer(int transferCharacteristics)
{
    switch (transferCharacteristics) {
    case 4: return 2.2;
    case 5: return 2.8;
    case 8: return 1.0;
    default: return 0;
    }
}
