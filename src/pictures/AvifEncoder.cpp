// Lossy AVIF through libavif with libaom's AV1 encoder, the quickest of the three Debian's
// libavif offers for its quality (`encoder_bench --settings`): rav1e takes two to three
// times as long for a little less, and SVT-AV1 six times as long, whatever the speed, and
// refuses pictures of odd height. The file says sRGB by its colour description (BT.709 primaries,
// sRGB transfer, BT.601 matrix, full range).

#include "LossyEncoders.h"
#include "Log.h"

#include <avif/avif.h>
#include <algorithm>
#include <thread>

namespace {

// libaom's speed 8 of 0-10: about 300 ms of processor time for a photo at 1200 px.
// Speed 6 gains 0.8 dB (luma PSNR, within 100 kB) but takes twice as long, too slow for a
// preview that follows the sliders; 7 gains nothing; 9 (and 10, the same here) is three
// times quicker but loses 0.3 dB.
constexpr int kAvifSpeed = 8;

// 4:2:0, 8 bits: AV1's Main profile, which every AVIF decoder (hardware ones included)
// reads; 4:4:4 needs the High profile. Within the same budget 4:2:0 also keeps 0.9 dB
// more of the luma, where the eye looks (4:4:4 gains 0.4 dB over R, G and B together).
constexpr avifPixelFormat kAvifPixelFormat = AVIF_PIXEL_FORMAT_YUV420;

avifCodecChoice encoderChoice()
{
    if (avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE))
        return AVIF_CODEC_CHOICE_AOM;
    return AVIF_CODEC_CHOICE_AUTO;
}

struct AvifParts {
    avifImage *image = nullptr;
    avifEncoder *encoder = nullptr;
    avifRWData output = AVIF_DATA_EMPTY;
    ~AvifParts()
    {
        avifRWDataFree(&output);
        if (encoder)
            avifEncoderDestroy(encoder);
        if (image)
            avifImageDestroy(image);
    }
};

} // namespace

QByteArray encodeAvif(const PixelBuffer &pixels, int step, int threads)
{
    auto fail = [](const QString &why) {
        qpLog(QStringLiteral("Unable to encode AVIF: %1").arg(why));
        return QByteArray();
    };
    if (!avifCodecName(encoderChoice(), AVIF_CODEC_FLAG_CAN_ENCODE))
        return fail(QStringLiteral("libavif has no AV1 encoder"));
    AvifParts parts;
    parts.image = avifImageCreate(uint32_t(pixels.width), uint32_t(pixels.height), 8, kAvifPixelFormat);
    parts.encoder = avifEncoderCreate();
    if (!parts.image || !parts.encoder)
        return fail(QStringLiteral("out of memory"));
    avifImage &image = *parts.image;
    image.colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image.transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image.matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image.yuvRange = AVIF_RANGE_FULL;

    const Rgb8Pixels rgb = rgb8Pixels(pixels);
    avifRGBImage source;
    avifRGBImageSetDefaults(&source, &image);
    source.depth = 8;
    source.format = rgb.channels == 4 ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    source.ignoreAlpha = rgb.hasAlpha ? AVIF_FALSE : AVIF_TRUE; // no alpha plane for an opaque picture
    source.pixels = const_cast<uint8_t *>(rgb.data);
    source.rowBytes = uint32_t(rgb.stride);
    avifResult result = avifImageRGBToYUV(&image, &source);
    if (result != AVIF_RESULT_OK)
        return fail(QString::fromUtf8(avifResultToString(result)));

    avifEncoder &encoder = *parts.encoder;
    encoder.codecChoice = encoderChoice();
    encoder.maxThreads = threads > 0 ? threads : std::max(1, int(std::thread::hardware_concurrency()));
    encoder.speed = kAvifSpeed;
    const int quantizer = kAvifSteps - 1 - std::clamp(step, 0, kAvifSteps - 1);
    encoder.minQuantizer = encoder.maxQuantizer = quantizer;
    encoder.minQuantizerAlpha = encoder.maxQuantizerAlpha = quantizer;
    result = avifEncoderWrite(&encoder, &image, &parts.output);
    if (result != AVIF_RESULT_OK) {
        const QString detail = QString::fromUtf8(encoder.diag.error);
        return fail(QString::fromUtf8(avifResultToString(result)) + (detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail)));
    }
    return QByteArray(reinterpret_cast<const char *>(parts.output.data), qsizetype(parts.output.size));
}
