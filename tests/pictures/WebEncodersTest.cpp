// WebP and AVIF outputs read back by libwebp's and libavif's own decoders.

#include "ColorManagement.h"
#include "ImageEncoders.h"
#include "Log.h"
#include "TestPictures.h"

#include <QSize>
#include <avif/avif.h>
#include <gtest/gtest.h>
#include <webp/decode.h>

#include <memory>
#include <vector>

namespace {

struct Decoded {
    int width = 0, height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> rgba; // always 4 channels
    bool taggedSrgb = false;
    bool hasExif = false;
    const uint8_t *at(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

Decoded decodeWebp(const QByteArray &file)
{
    Decoded out;
    const auto *bytes = reinterpret_cast<const uint8_t *>(file.constData());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes, size_t(file.size()), &features) != VP8_STATUS_OK)
        return out;
    out.hasAlpha = features.has_alpha;
    uint8_t *rgba = WebPDecodeRGBA(bytes, size_t(file.size()), &out.width, &out.height);
    if (!rgba)
        return out;
    out.rgba.assign(rgba, rgba + size_t(out.width) * out.height * 4);
    WebPFree(rgba);
    // The ICCP chunk holds the sRGB profile as written; an EXIF chunk is named so.
    out.taggedSrgb = file.contains("ICCP") && file.contains(srgbIccProfile());
    out.hasExif = file.contains("EXIF");
    return out;
}

Decoded decodeAvif(const QByteArray &file)
{
    Decoded out;
    std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> decoder(avifDecoderCreate(), avifDecoderDestroy);
    std::unique_ptr<avifImage, decltype(&avifImageDestroy)> image(avifImageCreateEmpty(), avifImageDestroy);
    if (avifDecoderReadMemory(decoder.get(), image.get(), reinterpret_cast<const uint8_t *>(file.constData()), size_t(file.size()))
        != AVIF_RESULT_OK)
        return out;
    out.width = int(image->width);
    out.height = int(image->height);
    out.hasAlpha = decoder->alphaPresent;
    out.taggedSrgb = image->colorPrimaries == AVIF_COLOR_PRIMARIES_BT709
        && image->transferCharacteristics == AVIF_TRANSFER_CHARACTERISTICS_SRGB && image->icc.size == 0;
    out.hasExif = image->exif.size > 0;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    out.rgba.resize(size_t(out.width) * out.height * 4);
    rgb.pixels = out.rgba.data();
    rgb.rowBytes = uint32_t(out.width * 4);
    if (avifImageYUVToRGB(image.get(), &rgb) != AVIF_RESULT_OK)
        out.rgba.clear();
    return out;
}

struct WebType {
    const char *name;
    ImageEncoding encoding;
    Decoded (*decode)(const QByteArray &);
    int alphaTolerance; // WebP keeps alpha losslessly; AVIF codes it at the colour's quantizer
};
const WebType kWebTypes[] = {{"WebP", ImageEncoding::WebP, decodeWebp, 0}, {"AVIF", ImageEncoding::AVIF, decodeAvif, 6}};

} // namespace

// A photo comes back close, in sRGB and without EXIF. Red, green, blue and mid-grey bands at 16 bits, over transparent,
// half and opaque rows: a swapped channel order, a wrong matrix or range, or a botched narrowing shows here.
TEST(WebEncoders, PhotosRoundTripInSrgbColoursKeepTheirChannelsAndAlphaIsKept)
{
    const auto photo = TestPictures::photo(96, 64);
    const auto bands = TestPictures::make(64, 48, 4, 16, [](int x, int y, uint16_t *out) {
        for (int c = 0; c < 3; ++c)
            out[c] = x / 16 == 3 ? 0x8080 : (c == x / 16 ? 0xFFFF : 0);
        out[3] = y < 16 ? 0xFFFF : y < 32 ? 0x8080 : 0;
    });
    const auto grey = TestPictures::make(32, 32, 2, 8, [](int x, int, uint16_t *out) {
        out[0] = uint16_t(x * 8);
        out[1] = 255;
    });
    for (const WebType &type : kWebTypes) {
        SCOPED_TRACE(type.name);
        const Decoded decoded = type.decode(encodeImage(*photo, type.encoding, 0.9f));
        ASSERT_EQ(QSize(decoded.width, decoded.height), QSize(96, 64));
        EXPECT_TRUE(decoded.taggedSrgb);
        EXPECT_FALSE(decoded.hasExif);
        EXPECT_FALSE(decoded.hasAlpha);
        double total = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96 * 3; ++x)
                total += std::abs(int(photo->row(y)[x]) - int(decoded.at(x / 3, y)[x % 3]));
        EXPECT_LT(total / (96 * 64 * 3), 6.0);

        const Decoded colours = type.decode(encodeImage(*bands, type.encoding, 1.0f));
        ASSERT_EQ(colours.width, 64);
        ASSERT_TRUE(colours.hasAlpha);
        for (int band = 0; band < 4; ++band)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(colours.at(band * 16 + 8, 8)[c], band == 3 ? 128 : c == band ? 255 : 0, band == 3 ? 3 : 12)
                    << "band " << band << " channel " << c;
        for (const auto &[y, alpha] : {std::pair{8, 255}, std::pair{24, 128}, std::pair{40, 0}})
            EXPECT_NEAR(colours.at(24, y)[3], alpha, type.alphaTolerance) << "row " << y;

        const Decoded greys = type.decode(encodeImage(*grey, type.encoding, 1.0f));
        ASSERT_EQ(greys.width, 32);
        EXPECT_FALSE(greys.hasAlpha); // every pixel opaque: no alpha written
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(greys.at(28, 10)[c], 28 * 8, 4) << "grey channel " << c;
    }
}

// Odd factors are held to the scale; others round to the nearest step.
TEST(WebEncoders, QualityFactorsOutsideTheScaleAreHeldToIt)
{
    const std::tuple<ImageEncoding, float, int> cases[] = {
        {ImageEncoding::JPEG, NAN, 1}, {ImageEncoding::JPEG, 7.0f, 100}, {ImageEncoding::AVIF, -1.0f, 0}, {ImageEncoding::WebP, 0.755f, 76}};
    for (const auto &[encoding, factor, step] : cases)
        EXPECT_EQ(qualityStepFor(encoding, factor), step) << int(encoding) << " factor " << factor;
}

TEST(WebEncoders, PicturesLargerThanWebpAllowsAreRefusedWithALogLine)
{
    LogCapture log;
    const auto wide = PixelBuffer::create(16384, 1, 3, 8);
    std::fill_n(wide->row(0), wide->stride, uint8_t(90));
    EXPECT_TRUE(encodeImage(*wide, ImageEncoding::WebP, 0.8f).isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to encode WebP: 16384 x 1 pixels is larger than WebP allows")));
}
