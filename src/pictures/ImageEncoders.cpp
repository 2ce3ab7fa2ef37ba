#include "ImageEncoders.h"

#include "AppPaths.h"
#include "ColorManagement.h"
#include "JpegError.h"
#include "LossyEncoders.h"
#include "Log.h"
#include "PictureLimits.h"
#include "TiffStream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <QSysInfo>
#include <png.h>
#include <vector>

namespace {

bool validShape(const PixelBuffer &pixels)
{
    return pixels.data && pixels.width > 0 && pixels.height > 0 && pixels.channels >= 1 && pixels.channels <= 4
        && (pixels.bitsPerChannel == 8 || pixels.bitsPerChannel == 16)
        && pixels.stride >= size_t(pixels.width) * pixels.bytesPerPixel();
}

// One row as 8-bit colour without alpha (grey stays grey), alpha flattened over white.
void flattenRow(const PixelBuffer &pixels, int y, uint8_t *out)
{
    const int colours = pixels.hasAlpha() ? pixels.channels - 1 : pixels.channels;
    const int channels = pixels.channels;
    if (pixels.bitsPerChannel == 8) {
        const uint8_t *in = pixels.row(y);
        for (int x = 0; x < pixels.width; ++x, in += channels, out += colours) {
            if (!pixels.hasAlpha()) {
                std::memcpy(out, in, size_t(colours));
                continue;
            }
            const unsigned a = in[colours];
            for (int c = 0; c < colours; ++c)
                out[c] = uint8_t((in[c] * a + 255u * (255u - a) + 127u) / 255u);
        }
    } else {
        const auto *in = reinterpret_cast<const uint16_t *>(pixels.row(y));
        for (int x = 0; x < pixels.width; ++x, in += channels, out += colours) {
            const uint64_t a = pixels.hasAlpha() ? in[colours] : 65535u;
            for (int c = 0; c < colours; ++c) {
                const uint64_t v = (in[c] * a + 65535u * (65535u - a) + 32767u) / 65535u;
                out[c] = uint8_t((v + 128u) / 257u);
            }
        }
    }
}

} // namespace

Rgb8Pixels rgb8Pixels(const PixelBuffer &pixels)
{
    Rgb8Pixels out;
    bool opaque = true;
    if (pixels.hasAlpha()) {
        const int alpha = pixels.channels - 1;
        for (int y = 0; y < pixels.height && opaque; ++y) {
            const uint8_t *in = pixels.row(y);
            for (int x = 0; x < pixels.width && opaque; ++x) {
                if (pixels.bitsPerChannel == 8)
                    opaque = in[size_t(x) * pixels.channels + alpha] == 255;
                else
                    opaque = reinterpret_cast<const uint16_t *>(in)[size_t(x) * pixels.channels + alpha] >= 65535 - 128;
            }
        }
    }
    out.hasAlpha = !opaque;
    if (pixels.bitsPerChannel == 8 && pixels.channels >= 3) {
        out.data = pixels.row(0);
        out.stride = pixels.stride;
        out.channels = pixels.channels;
        return out;
    }
    // Grey spreads to RGB; 16-bit samples round to the nearest 8-bit value.
    out.channels = out.hasAlpha ? 4 : 3;
    out.stride = size_t(pixels.width) * size_t(out.channels);
    out.storage.resize(out.stride * size_t(pixels.height));
    const bool grey = pixels.channels <= 2;
    for (int y = 0; y < pixels.height; ++y) {
        uint8_t *o = out.storage.data() + out.stride * size_t(y);
        for (int x = 0; x < pixels.width; ++x, o += out.channels) {
            auto sample = [&](int c) -> uint8_t {
                const size_t i = size_t(x) * pixels.channels + size_t(c);
                if (pixels.bitsPerChannel == 8)
                    return pixels.row(y)[i];
                return uint8_t((reinterpret_cast<const uint16_t *>(pixels.row(y))[i] + 128u) / 257u);
            };
            for (int c = 0; c < 3; ++c)
                o[c] = sample(grey ? 0 : c);
            if (out.hasAlpha)
                o[3] = sample(pixels.channels - 1);
        }
    }
    out.data = out.storage.data();
    return out;
}

namespace {

// libjpeg's setjmp-based errors: nothing in this function owns memory except through
// `state`, which the caller frees.
struct JpegState {
    jpeg_compress_struct info{};
    JpegError error;
    unsigned char *output = nullptr;
    unsigned long outputSize = 0;
    std::vector<uint8_t> row;
};

bool runJpeg(JpegState &state, const PixelBuffer &pixels, int quality)
{
    jpeg_compress_struct &info = state.info;
    info.err = jpegInstallErrors(state.error);
    if (setjmp(state.error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &state.output, &state.outputSize);
    const bool grey = pixels.channels <= 2;
    info.image_width = JDIMENSION(pixels.width);
    info.image_height = JDIMENSION(pixels.height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    info.write_JFIF_header = TRUE;
    info.optimize_coding = TRUE;
    jpeg_set_quality(&info, quality, TRUE);
    if (!grey) {
        const int sampling = quality >= 90 ? 1 : 2;
        info.comp_info[0].h_samp_factor = sampling;
        info.comp_info[0].v_samp_factor = sampling;
        info.comp_info[1].h_samp_factor = 1;
        info.comp_info[1].v_samp_factor = 1;
        info.comp_info[2].h_samp_factor = 1;
        info.comp_info[2].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    const QByteArray &profile = srgbIccProfile();
    if (!grey && !profile.isEmpty())
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET *>(profile.constData()), unsigned(profile.size()));
    const bool direct = pixels.bitsPerChannel == 8 && !pixels.hasAlpha();
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        JSAMPROW row;
        if (direct) {
            row = const_cast<JSAMPROW>(pixels.row(y));
        } else {
            flattenRow(pixels, y, state.row.data());
            row = state.row.data();
        }
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

QByteArray encodeJpeg(const PixelBuffer &pixels, int quality)
{
    if (pixels.width > JPEG_MAX_DIMENSION || pixels.height > JPEG_MAX_DIMENSION) {
        qpLog(QStringLiteral("Unable to encode JPEG: %1 x %2 pixels is larger than JPEG allows").arg(pixels.width).arg(pixels.height));
        return {};
    }
    JpegState state;
    state.row.resize(size_t(pixels.width) * 3);
    const bool ok = runJpeg(state, pixels, quality);
    QByteArray result;
    if (ok && state.output)
        result = QByteArray(reinterpret_cast<const char *>(state.output), qsizetype(state.outputSize));
    else
        qpLog(QStringLiteral("Unable to encode JPEG: %1").arg(QString::fromUtf8(state.error.message)));
    std::free(state.output);
    return result;
}

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    QByteArray output;
    char message[256] = {};
};

void pngWrite(png_structp png, png_bytep data, size_t length)
{
    auto *state = static_cast<PngState *>(png_get_io_ptr(png));
    state->output.append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void pngFlush(png_structp) {}

void pngError(png_structp png, png_const_charp message)
{
    auto *state = static_cast<PngState *>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool runPng(PngState &state, const PixelBuffer &pixels)
{
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    if (!state.png)
        return false;
    state.info = png_create_info_struct(state.png);
    if (!state.info)
        return false;
    if (setjmp(png_jmpbuf(state.png)))
        return false;
    png_set_write_fn(state.png, &state, pngWrite, pngFlush);
    static const int colourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(state.png, state.info, png_uint_32(pixels.width), png_uint_32(pixels.height), pixels.bitsPerChannel,
                 colourTypes[pixels.channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB_gAMA_and_cHRM(state.png, state.info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(state.png, state.info);
    if (pixels.bitsPerChannel == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(state.png);
    for (int y = 0; y < pixels.height; ++y)
        png_write_row(state.png, const_cast<png_bytep>(pixels.row(y)));
    png_write_end(state.png, nullptr);
    return true;
}

QByteArray encodePng(const PixelBuffer &pixels)
{
    PngState state;
    const bool ok = runPng(state, pixels);
    png_destroy_write_struct(&state.png, &state.info);
    if (!ok) {
        qpLog(QStringLiteral("Unable to encode PNG: %1").arg(QString::fromUtf8(state.message)));
        return {};
    }
    return state.output;
}

QByteArray encodeTiff(const PixelBuffer &pixels)
{
    TiffStream stream;
    TIFF *tiff = stream.open("w", 0);
    if (!tiff) {
        qpLog(QStringLiteral("Unable to encode TIFF: %1").arg(stream.error()));
        return {};
    }
    const bool colour = pixels.channels >= 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(pixels.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(pixels.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(pixels.bitsPerChannel));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(pixels.channels));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, colour ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (pixels.hasAlpha()) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    const QByteArray &profile = srgbIccProfile();
    if (colour && !profile.isEmpty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));

    // libtiff's predictor works in place, so each row goes through a scratch copy.
    std::vector<uint8_t> row(size_t(pixels.width) * pixels.bytesPerPixel());
    bool ok = true;
    for (int y = 0; y < pixels.height && ok; ++y) {
        std::memcpy(row.data(), pixels.row(y), row.size());
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tiff);
    stream.close();
    if (!ok || !stream.error().isEmpty()) {
        qpLog(QStringLiteral("Unable to encode TIFF: %1").arg(stream.error()));
        return {};
    }
    return stream.written();
}

} // namespace

QualityScale qualityScaleFor(ImageEncoding encoding)
{
    switch (encoding) {
    case ImageEncoding::JPEG: return {1, 100};
    case ImageEncoding::WebP: return {0, 100};
    case ImageEncoding::AVIF: return {0, kAvifSteps - 1};
    default: return {};
    }
}

// Every lossy scale runs from its lowest step up to the step of a factor of 1.0.
int qualityStepFor(ImageEncoding encoding, float compressionFactor)
{
    if (!(compressionFactor >= 0.0f)) // NaN too
        compressionFactor = 0.0f;
    compressionFactor = std::min(compressionFactor, 1.0f);
    const QualityScale scale = qualityScaleFor(encoding);
    return std::max(scale.lowest, int(std::lround(compressionFactor * float(scale.highest))));
}

float compressionFactorFor(ImageEncoding encoding, int step)
{
    const QualityScale scale = qualityScaleFor(encoding);
    if (!scale.hasSteps())
        return 1.0f;
    return float(std::clamp(step, scale.lowest, scale.highest)) / float(scale.highest);
}

QByteArray encodeImageAtQualityStep(const PixelBuffer &pixels, ImageEncoding encoding, int step, int threads)
{
    if (encoding == ImageEncoding::None) {
        qpLog(QStringLiteral("Unable to encode a picture: no output type"));
        return {};
    }
    if (!validShape(pixels)) {
        qpLog(QStringLiteral("Unable to encode a picture: its pixels are empty or malformed"));
        return {};
    }
    const QualityScale scale = qualityScaleFor(encoding);
    step = std::clamp(step, scale.lowest, scale.highest);
    switch (encoding) {
    case ImageEncoding::JPEG: return encodeJpeg(pixels, step);
    case ImageEncoding::PNG: return encodePng(pixels);
    case ImageEncoding::TIFF: return encodeTiff(pixels);
    case ImageEncoding::WebP: return encodeWebp(pixels, step);
    case ImageEncoding::AVIF: return encodeAvif(pixels, step, threads);
    case ImageEncoding::None: break;
    }
    return {};
}

int jpegQualityForCompressionFactor(float compressionFactor)
{
    return qualityStepFor(ImageEncoding::JPEG, compressionFactor);
}

QByteArray encodeImage(const PixelBuffer &pixels, ImageEncoding encoding, float compressionFactor, int threads)
{
    return encodeImageAtQualityStep(pixels, encoding, qualityStepFor(encoding, compressionFactor), threads);
}

int largestEncodedSide(ImageEncoding encoding)
{
    switch (encoding) {
    case ImageEncoding::JPEG:
        return int(JPEG_MAX_DIMENSION);
    case ImageEncoding::WebP:
        return 16383; // the format's own limit (WEBP_MAX_DIMENSION)
    case ImageEncoding::PNG:
    case ImageEncoding::TIFF:
    case ImageEncoding::AVIF:
        return PictureLimits::maxSide;
    case ImageEncoding::None:
        break;
    }
    return 0;
}

OutputFileType outputFileTypeFor(qint64 fileFormat)
{
    switch (fileFormat) {
    case 0:
        return {ImageEncoding::JPEG, QStringLiteral("JPEG"), QStringLiteral("jpeg"), AppPaths::tempImageJpg, QStringLiteral("jpg"),
                {QStringLiteral("jpg"), QStringLiteral("jpeg")}, true};
    case 1:
        return {ImageEncoding::PNG, QStringLiteral("PNG"), QStringLiteral("png"), AppPaths::tempImagePng, QStringLiteral("png"), {QStringLiteral("png")}, false};
    case 2:
        return {ImageEncoding::TIFF, QStringLiteral("TIFF"), QStringLiteral("tiff"), AppPaths::tempImageTiff, QStringLiteral("tiff"),
                {QStringLiteral("tiff"), QStringLiteral("tif")}, false};
    case 3:
        return {ImageEncoding::WebP, QStringLiteral("WebP"), QStringLiteral("webp"), AppPaths::tempImageWebp, QStringLiteral("webp"), {QStringLiteral("webp")}, true};
    case 4:
        return {ImageEncoding::AVIF, QStringLiteral("AVIF"), QStringLiteral("avif"), AppPaths::tempImageAvif, QStringLiteral("avif"), {QStringLiteral("avif")}, true};
    default:
        return {ImageEncoding::None, QString(), QString(), AppPaths::tempImageJpg, QString(), {}, false};
    }
}

QList<qint64> outputFileTypeValues()
{
    return {0, 1, 2, 3, 4};
}

QString tempPreviewPath(qint64 fileFormat)
{
    return AppPaths::supportFolder() + QLatin1Char('/') + outputFileTypeFor(fileFormat).tempFileName;
}
