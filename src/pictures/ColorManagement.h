#pragma once
// Colour profiles through lcms2: the sRGB profile that outputs are tagged with, and the
// conversion of decoded pixels from an embedded profile to sRGB.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>

// The sRGB ICC profile (made once by lcms2) that encoders embed.
const QByteArray &srgbIccProfile();

// The layouts a decoder hands over for conversion. CMYK samples may be stored inverted
// (Adobe's JPEGs), which the profile path must know.
enum class IccLayout { Grey8, Grey16, RGB8, RGB16, RGBA8, RGBA16, CMYK8, InvertedCMYK8 };

// A cached conversion from an embedded profile to sRGB. `apply` converts `pixels` pixels of
// the input layout into sRGB of the output layout (RGB8/RGB16/RGBA8/RGBA16; CMYK goes to
// RGB8), copying alpha through; `in` and `out` may be the same row when both layouts have
// the same size. Transforms are safe to share between threads. The cache keeps the most
// recently used ones only, as every new profile (a batch of pictures may bring thousands)
// costs some 100 KB; a transform handed out lives as long as someone holds it.
class IccTransform {
public:
    static constexpr size_t maxCached = 32;

    // Null (with a log line when it is first met) when `profile` is unusable or does not
    // fit `in`; null without a line when it is sRGB already, as there is nothing to do.
    static std::shared_ptr<const IccTransform> forProfile(const QByteArray &profile, IccLayout in, IccLayout out);
    // How many profiles the cache remembers now.
    static size_t cachedCount();

    explicit IccTransform(void *handle) : handle_(handle) {}
    ~IccTransform();
    IccTransform(const IccTransform &) = delete;
    IccTransform &operator=(const IccTransform &) = delete;

    void apply(const void *in, void *out, size_t pixels) const;

private:
    void *handle_ = nullptr;
};

// True when the profile describes a CMYK colour space (decoders choose their layout by it).
bool iccProfileIsCmyk(const QByteArray &profile);
