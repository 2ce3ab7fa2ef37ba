#include "DecoderSupport.h"

#include "JpegError.h"
#include "PictureLimits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace codec {
namespace {

struct JpegDecode {
    jpeg_decompress_struct info{};
    JpegError error;
    jpeg_progress_mgr progress{};
    bool decode = false;
    int shift = 0;
    int orientation = 1;
    Resolution dpi;
    int storedWidth = 0;
    int storedHeight = 0;
    bool overLimit = false;
    std::shared_ptr<PixelBuffer> pixels;
    std::vector<uint8_t> cmykRow;
    JOCTET *icc = nullptr;
    unsigned iccSize = 0;
    std::shared_ptr<const IccTransform> transform;
};

// A progressive file can hold thousands of tiny scans that each cost a pass over the
// whole picture; real encoders write about ten.
void jpegProgress(j_common_ptr common)
{
    auto *info = reinterpret_cast<j_decompress_ptr>(common);
    if (info->input_scan_number > 300) {
        auto *error = reinterpret_cast<JpegError *>(info->err);
        std::snprintf(error->message, sizeof error->message, "more than 300 progressive scans");
        std::longjmp(error->jump, 1);
    }
}

// Kept out of runJpegDecode, whose setjmp forbids locals with destructors.
std::shared_ptr<const IccTransform> jpegTransform(const JOCTET *icc, unsigned size, bool cmyk, bool inverted, int channels)
{
    if (!icc || size == 0)
        return nullptr;
    const QByteArray profile(reinterpret_cast<const char *>(icc), qsizetype(size));
    if (cmyk)
        return IccTransform::forProfile(profile, inverted ? IccLayout::InvertedCMYK8 : IccLayout::CMYK8, IccLayout::RGB8);
    if (channels == 3)
        return IccTransform::forProfile(profile, IccLayout::RGB8, IccLayout::RGB8);
    return nullptr;
}

bool runJpegDecode(JpegDecode &state, const QByteArray &bytes)
{
    jpeg_decompress_struct &info = state.info;
    info.err = jpegInstallErrors(state.error);
    if (setjmp(state.error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    state.progress.progress_monitor = jpegProgress;
    info.progress = &state.progress;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.constData()), (unsigned long)(bytes.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    if (state.decode)
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);

    state.storedWidth = int(info.image_width);
    state.storedHeight = int(info.image_height);
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length > 6 && std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
            const ExifFacts facts = readExif(marker->data, marker->data_length);
            state.orientation = facts.orientation;
            state.dpi = facts.dpi;
            break;
        }
    if (info.saw_JFIF_marker && (info.density_unit == 1 || info.density_unit == 2)) {
        const int unit = info.density_unit == 1 ? 2 : 3;
        state.dpi.x = toDpi(info.X_density, unit);
        state.dpi.y = toDpi(info.Y_density, unit);
    }
    if (!PictureLimits::check(state.storedWidth, state.storedHeight).isEmpty()) {
        state.overLimit = true;
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (!state.decode) {
        jpeg_destroy_decompress(&info);
        return true;
    }

    info.scale_num = 1;
    info.scale_denom = 1u << state.shift;
    int channels = 3;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (info.jpeg_color_space == JCS_GRAYSCALE) {
        info.out_color_space = JCS_GRAYSCALE;
        channels = 1;
    } else if (cmyk) {
        info.out_color_space = JCS_CMYK;
    } else {
        info.out_color_space = JCS_EXT_RGB;
    }
    jpeg_calc_output_dimensions(&info);
    state.pixels = PixelBuffer::create(int(info.output_width), int(info.output_height), channels, 8);
    if (!state.pixels) {
        std::snprintf(state.error.message, sizeof state.error.message, "not enough memory");
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_read_icc_profile(&info, &state.icc, &state.iccSize);
    const bool inverted = info.saw_Adobe_marker;
    state.transform = jpegTransform(state.icc, state.iccSize, cmyk, inverted, channels);
    const IccTransform *transform = state.transform.get();

    jpeg_start_decompress(&info);
    PixelBuffer &out = *state.pixels;
    const int width = out.width;
    if (cmyk)
        state.cmykRow.resize(size_t(width) * 4);
    while (info.output_scanline < info.output_height && !state.error.truncated) {
        const int y = int(info.output_scanline);
        if (cmyk) {
            JSAMPROW row = state.cmykRow.data();
            jpeg_read_scanlines(&info, &row, 1);
            if (transform)
                transform->apply(row, out.row(y), size_t(width));
            else
                naiveCmykRow(row, out.row(y), width, inverted);
            continue;
        }
        JSAMPROW rows[16];
        const int batch = std::min<int>(16, int(info.output_height) - y);
        for (int i = 0; i < batch; ++i)
            rows[i] = out.row(y + i);
        const int read = int(jpeg_read_scanlines(&info, rows, JDIMENSION(batch)));
        if (transform)
            for (int i = 0; i < read; ++i)
                transform->apply(rows[i], rows[i], size_t(width));
    }
    jpeg_destroy_decompress(&info);
    if (state.error.truncated) {
        std::snprintf(state.error.message, sizeof state.error.message, "the file ends before the picture does");
        return false;
    }
    return true;
}

bool readJpeg(const QByteArray &bytes, bool decode, int shift, JpegDecode &state, QString &error)
{
    state.decode = decode;
    state.shift = std::clamp(shift, 0, 3);
    const bool ok = runJpegDecode(state, bytes);
    std::free(state.icc);
    state.icc = nullptr;
    if (state.overLimit)
        error = PictureLimits::check(state.storedWidth, state.storedHeight);
    else if (!ok)
        error = QString::fromUtf8(state.error.message);
    if (!ok)
        state.pixels.reset();
    return ok;
}

} // namespace

bool probeJpeg(const QByteArray &bytes, BitmapPageInfo &page, QString &error)
{
    JpegDecode state;
    if (!readJpeg(bytes, false, 0, state, error))
        return false;
    page = pageInfo(state.storedWidth, state.storedHeight, state.dpi, state.orientation);
    return true;
}

std::shared_ptr<PixelBuffer> decodeJpeg(const QByteArray &bytes, int shift, QString &error)
{
    JpegDecode state;
    if (!readJpeg(bytes, true, shift, state, error))
        return nullptr;
    return applyOrientation(std::move(state.pixels), state.orientation);
}

} // namespace codec
