// WebP, HEIC and AVIF test pictures, written by the encoders Debian ships: libwebp,
// libheif with x265, libavif with aom.

#include "TestPictures.h"

#include <avif/avif.h>
#include <cstring>
#include <libheif/heif.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace TestPictures {

namespace {

QByteArray bytesOf(WebPData &data)
{
    QByteArray bytes(reinterpret_cast<const char *>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    return bytes;
}

QByteArray withChunks(const QByteArray &bitstream, const WebpOptions &options)
{
    if (bitstream.isEmpty() || (options.exif.isEmpty() && options.icc.isEmpty()))
        return bitstream;
    const WebPData in{reinterpret_cast<const uint8_t *>(bitstream.constData()), size_t(bitstream.size())};
    WebPMux *mux = WebPMuxCreate(&in, 1);
    if (!options.icc.isEmpty()) {
        const WebPData icc{reinterpret_cast<const uint8_t *>(options.icc.constData()), size_t(options.icc.size())};
        WebPMuxSetChunk(mux, "ICCP", &icc, 1);
    }
    if (!options.exif.isEmpty()) {
        const WebPData exif{reinterpret_cast<const uint8_t *>(options.exif.constData()), size_t(options.exif.size())};
        WebPMuxSetChunk(mux, "EXIF", &exif, 1);
    }
    WebPData out{};
    WebPMuxAssemble(mux, &out);
    WebPMuxDelete(mux);
    return bytesOf(out);
}

} // namespace

QByteArray webp(const PixelBuffer &pixels, const WebpOptions &options)
{
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = options.lossless;
    config.quality = float(options.quality);
    config.exact = 1; // keep the colour under transparent pixels, as the tests compare it
    auto still = [&config](const PixelBuffer &frame) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = frame.width;
        picture.height = frame.height;
        picture.use_argb = 1;
        (frame.channels == 4 ? WebPPictureImportRGBA : WebPPictureImportRGB)(&picture, frame.row(0), int(frame.stride));
        WebPMemoryWriter writer;
        WebPMemoryWriterInit(&writer);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &writer;
        const bool ok = WebPEncode(&config, &picture);
        WebPPictureFree(&picture);
        QByteArray bytes = ok ? QByteArray(reinterpret_cast<const char *>(writer.mem), qsizetype(writer.size)) : QByteArray();
        WebPMemoryWriterClear(&writer);
        return bytes;
    };
    if (options.laterFrames.empty())
        return withChunks(still(pixels), options);

    // Each frame a still of its own, placed on the canvas by the container.
    std::vector<QByteArray> frames{still(pixels)};
    for (const auto &later : options.laterFrames)
        frames.push_back(still(*later));
    WebPMux *mux = WebPMuxNew();
    WebPMuxSetCanvasSize(mux, options.canvasWidth ? options.canvasWidth : pixels.width,
                         options.canvasHeight ? options.canvasHeight : pixels.height);
    const WebPMuxAnimParams loop{0, 0};
    WebPMuxSetAnimationParams(mux, &loop);
    for (size_t i = 0; i < frames.size(); ++i) {
        WebPMuxFrameInfo frame{};
        frame.bitstream = {reinterpret_cast<const uint8_t *>(frames[i].constData()), size_t(frames[i].size())};
        frame.x_offset = i == 0 ? options.firstX : 0;
        frame.y_offset = i == 0 ? options.firstY : 0;
        frame.duration = 100;
        frame.id = WEBP_CHUNK_ANMF;
        frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
        frame.blend_method = WEBP_MUX_BLEND;
        WebPMuxPushFrame(mux, &frame, 1);
    }
    WebPData out{};
    const bool ok = WebPMuxAssemble(mux, &out) == WEBP_MUX_OK;
    WebPMuxDelete(mux);
    return ok ? withChunks(bytesOf(out), options) : QByteArray();
}

namespace {

// A 16-bit sample scaled to `bits`.
unsigned narrowed(uint16_t sample, unsigned bits)
{
    return (sample * ((1u << bits) - 1) + 32767u) / 65535u;
}

heif_error writeToArray(heif_context *, const void *data, size_t size, void *userdata)
{
    static_cast<QByteArray *>(userdata)->append(static_cast<const char *>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// The TIFF part of an "Exif\0\0" payload.
QByteArray tiffPartOf(const QByteArray &exif)
{
    return exif.startsWith(QByteArray("Exif\0\0", 6)) ? exif.mid(6) : exif;
}

} // namespace

QByteArray heic(const PixelBuffer &pixels, const HeifOptions &options)
{
    const bool alpha = pixels.hasAlpha();
    const bool deep = options.bitDepth > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image *image = nullptr;
    heif_image_create(pixels.width, pixels.height, heif_colorspace_RGB, chroma, &image);
    heif_image_add_plane(image, heif_channel_interleaved, pixels.width, pixels.height, options.bitDepth);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(pixels.width) * pixels.bytesPerPixel();
    for (int y = 0; y < pixels.height; ++y) {
        if (!deep) {
            std::memcpy(plane + size_t(y) * size_t(stride), pixels.row(y), rowBytes);
            continue;
        }
        // 16-bit samples to 10 bits, little-endian.
        const auto *in = reinterpret_cast<const uint16_t *>(pixels.row(y));
        uint8_t *out = plane + size_t(y) * size_t(stride);
        for (int i = 0; i < pixels.width * pixels.channels; ++i) {
            const unsigned v = narrowed(in[i], 10);
            out[2 * i] = uint8_t(v & 0xFF);
            out[2 * i + 1] = uint8_t(v >> 8);
        }
    }
    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    if (!options.icc.isEmpty()) {
        heif_image_set_raw_color_profile(image, "prof", options.icc.constData(), size_t(options.icc.size()));
    } else {
        heif_nclx_color_profile_set_color_primaries(nclx, uint16_t(options.nclx.primaries));
        heif_nclx_color_profile_set_transfer_characteristics(nclx, uint16_t(options.nclx.transfer));
        heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
    }

    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, options.quality);
    heif_encoder_set_parameter_string(encoder, "chroma", "444");
    heif_encoding_options *encoding = heif_encoding_options_alloc();
    encoding->image_orientation = heif_orientation(options.orientation);
    // Written as a colr box, where phones write it (libheif leaves it out by default).
    encoding->macOS_compatibility_workaround_no_nclx_profile = 0;
    heif_image_handle *handle = nullptr;
    const heif_error encoded = heif_context_encode_image(context, image, encoder, encoding, &handle);
    QByteArray out;
    if (encoded.code == heif_error_Ok) {
        if (!options.exif.isEmpty()) {
            const QByteArray tiff = tiffPartOf(options.exif);
            heif_context_add_exif_metadata(context, handle, tiff.constData(), int(tiff.size()));
        }
        heif_writer writer{1, writeToArray};
        heif_context_write(context, &writer, &out);
    }
    heif_image_handle_release(handle);
    heif_encoding_options_free(encoding);
    heif_encoder_release(encoder);
    heif_context_free(context);
    heif_nclx_color_profile_free(nclx);
    heif_image_release(image);
    return out;
}

namespace {

// irot (quarter turns anticlockwise, applied first) and imir (0 top-bottom, 1 left-right)
// for each EXIF orientation.
void setTransforms(avifImage *image, int orientation)
{
    struct Transform {
        int quarterTurns; // -1: none
        int mirror;       // -1: none
    };
    static const Transform table[9] = {{-1, -1}, {-1, -1}, {-1, 1}, {2, -1}, {-1, 0}, {1, 0}, {3, -1}, {3, 0}, {1, -1}};
    const Transform t = table[orientation >= 1 && orientation <= 8 ? orientation : 1];
    image->transformFlags = AVIF_TRANSFORM_NONE;
    if (t.quarterTurns >= 0) {
        image->transformFlags |= AVIF_TRANSFORM_IROT;
        image->irot.angle = uint8_t(t.quarterTurns);
    }
    if (t.mirror >= 0) {
        image->transformFlags |= AVIF_TRANSFORM_IMIR;
        image->imir.mode = uint8_t(t.mirror);
    }
}

avifImage *avifFrame(const PixelBuffer &pixels, const HeifOptions &options)
{
    const uint32_t depth = uint32_t(options.bitDepth);
    avifImage *image = avifImageCreate(uint32_t(pixels.width), uint32_t(pixels.height), depth, AVIF_PIXEL_FORMAT_YUV444);
    image->yuvRange = AVIF_RANGE_FULL;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    if (!options.icc.isEmpty()) {
        avifImageSetProfileICC(image, reinterpret_cast<const uint8_t *>(options.icc.constData()), size_t(options.icc.size()));
    } else {
        image->colorPrimaries = avifColorPrimaries(options.nclx.primaries);
        image->transferCharacteristics = avifTransferCharacteristics(options.nclx.transfer);
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = pixels.hasAlpha() ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    // Our 16-bit samples scaled to the picture's depth, or 8-bit samples as they are.
    std::vector<uint16_t> deep;
    if (depth > 8) {
        rgb.depth = depth;
        deep.resize(size_t(pixels.width) * size_t(pixels.height) * size_t(pixels.channels));
        for (int y = 0; y < pixels.height; ++y) {
            const auto *in = reinterpret_cast<const uint16_t *>(pixels.row(y));
            for (int i = 0; i < pixels.width * pixels.channels; ++i)
                deep[size_t(y) * size_t(pixels.width * pixels.channels) + size_t(i)] = uint16_t(narrowed(in[i], depth));
        }
        rgb.pixels = reinterpret_cast<uint8_t *>(deep.data());
        rgb.rowBytes = uint32_t(pixels.width * pixels.channels * 2);
    } else {
        rgb.depth = 8;
        rgb.pixels = const_cast<uint8_t *>(pixels.row(0));
        rgb.rowBytes = uint32_t(pixels.stride);
    }
    avifImageRGBToYUV(image, &rgb);
    return image;
}

} // namespace

QByteArray avif(const PixelBuffer &pixels, const HeifOptions &options)
{
    avifImage *first = avifFrame(pixels, options);
    if (!options.exif.isEmpty())
        avifImageSetMetadataExif(first, reinterpret_cast<const uint8_t *>(options.exif.constData()), size_t(options.exif.size()));
    // After the EXIF, which libavif would otherwise turn into transforms of its own.
    setTransforms(first, options.orientation);

    avifEncoder *encoder = avifEncoderCreate();
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->speed = AVIF_SPEED_FASTEST;
    const int quantizer = (100 - options.quality) * 63 / 100;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;
    avifRWData output = AVIF_DATA_EMPTY;
    bool ok = true;
    if (options.laterFrames.empty()) {
        ok = avifEncoderWrite(encoder, first, &output) == AVIF_RESULT_OK;
    } else {
        encoder->timescale = 10;
        ok = avifEncoderAddImage(encoder, first, 1, AVIF_ADD_IMAGE_FLAG_FORCE_KEYFRAME) == AVIF_RESULT_OK;
        for (const auto &later : options.laterFrames) {
            avifImage *frame = avifFrame(*later, options);
            ok = ok && avifEncoderAddImage(encoder, frame, 1, AVIF_ADD_IMAGE_FLAG_NONE) == AVIF_RESULT_OK;
            avifImageDestroy(frame);
        }
        ok = ok && avifEncoderFinish(encoder, &output) == AVIF_RESULT_OK;
    }
    QByteArray out = ok ? QByteArray(reinterpret_cast<const char *>(output.data), qsizetype(output.size)) : QByteArray();
    avifRWDataFree(&output);
    avifEncoderDestroy(encoder);
    avifImageDestroy(first);
    return out;
}

} // namespace TestPictures
