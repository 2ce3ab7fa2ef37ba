#include "DecoderSupport.h"

#include "Log.h"
#include "PictureLimits.h"
#include "TaggedColour.h"

#include <QSysInfo>
#include <cstring>
#include <png.h>
#include <vector>

namespace codec {
namespace {

struct PngDecode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const QByteArray *bytes = nullptr;
    qsizetype position = 0;
    bool decode = false;
    char message[256] = {};
    int width = 0;
    int height = 0;
    int orientation = 1;
    Resolution dpi;
    bool overLimit = false;
    std::shared_ptr<PixelBuffer> pixels;
    std::vector<png_bytep> rows;
    QByteArray profile;
    // Without a profile or an sRGB chunk: gAMA (gamma x 100000; 0 none) and cHRM.
    int gamma = 0;
    bool chromaticities = false;
    Chromaticities primaries{};
};

void pngRead(png_structp png, png_bytep out, size_t length)
{
    auto *state = static_cast<PngDecode *>(png_get_io_ptr(png));
    if (qsizetype(length) > state->bytes->size() - state->position)
        png_error(png, "the file ends before the picture does");
    std::memcpy(out, state->bytes->constData() + state->position, length);
    state->position += qsizetype(length);
}

void pngError(png_structp png, png_const_charp message)
{
    auto *state = static_cast<PngDecode *>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool runPngDecode(PngDecode &state)
{
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    if (!state.png)
        return false;
    state.info = png_create_info_struct(state.png);
    if (!state.info)
        return false;
    if (setjmp(png_jmpbuf(state.png)))
        return false;
    png_structp png = state.png;
    png_infop info = state.info;
    png_set_read_fn(png, &state, pngRead);
    png_read_info(png, info);
    state.width = int(png_get_image_width(png, info));
    state.height = int(png_get_image_height(png, info));
    if (!PictureLimits::check(state.width, state.height).isEmpty()) {
        state.overLimit = true;
        return false;
    }
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
        state.dpi.x = toDpi(resX / 100.0, 3);
        state.dpi.y = toDpi(resY / 100.0, 3);
    }
#ifdef PNG_eXIf_SUPPORTED
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (png_get_eXIf_1(png, info, &exifSize, &exif) && exif && exifSize > 8 && exifSize < 1u << 20) {
        std::vector<unsigned char> withHeader(6 + exifSize);
        std::memcpy(withHeader.data(), "Exif\0\0", 6);
        std::memcpy(withHeader.data() + 6, exif, exifSize);
        state.orientation = readExif(withHeader.data(), unsigned(withHeader.size())).orientation;
    }
#endif
    if (!state.decode)
        return true;

    png_charp name = nullptr;
    int compression = 0;
    png_bytep iccData = nullptr;
    png_uint_32 iccSize = 0;
    if (png_get_iCCP(png, info, &name, &compression, &iccData, &iccSize) && iccData && iccSize > 0)
        state.profile = QByteArray(reinterpret_cast<const char *>(iccData), qsizetype(iccSize));
    png_fixed_point gamma = 0;
    if (state.profile.isEmpty() && !png_get_valid(png, info, PNG_INFO_sRGB) && png_get_gAMA_fixed(png, info, &gamma)) {
        state.gamma = int(gamma);
        Chromaticities &c = state.primaries;
        state.chromaticities = png_get_cHRM(png, info, &c.whiteX, &c.whiteY, &c.redX, &c.redY, &c.greenX, &c.greenY,
                                            &c.blueX, &c.blueY) != 0;
    }

    png_set_expand(png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    if (png_get_bit_depth(png, info) == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const int bits = png_get_bit_depth(png, info);
    state.pixels = PixelBuffer::create(state.width, state.height, channels, bits);
    if (!state.pixels || png_get_rowbytes(png, info) != state.pixels->stride) {
        std::snprintf(state.message, sizeof state.message, "not enough memory");
        state.pixels.reset();
        return false;
    }
    state.rows.resize(size_t(state.height));
    for (int y = 0; y < state.height; ++y)
        state.rows[size_t(y)] = state.pixels->row(y);
    png_read_image(png, state.rows.data());
    return true;
}

// As browsers show it: an ICC profile first; then, without an sRGB chunk, gAMA on sRGB's
// primaries, or on cHRM's when both chunks are there. cHRM alone says too little to act on.
void convertPngColour(PngDecode &state)
{
    if (!state.profile.isEmpty()) {
        convertToSrgb(*state.pixels, state.profile);
        return;
    }
    if (state.gamma == 0)
        return;
    const std::optional<double> exponent = exponentForPngGamma(state.gamma);
    if (!exponent) {
        qpLog(QStringLiteral("Ignoring a PNG gamma of %1; taking the picture as sRGB").arg(state.gamma / 100000.0));
        return;
    }
    TaggedColour colour;
    colour.exponent = *exponent;
    if (state.chromaticities)
        colour.primaries = state.primaries;
    convertTaggedToSrgb(*state.pixels, colour);
}

bool readPng(const QByteArray &bytes, bool decode, PngDecode &state, QString &error)
{
    state.bytes = &bytes;
    state.decode = decode;
    const bool ok = runPngDecode(state);
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    if (state.overLimit)
        error = PictureLimits::check(state.width, state.height);
    else if (!ok)
        error = state.message[0] ? QString::fromUtf8(state.message) : QStringLiteral("not enough memory");
    if (!ok) {
        state.pixels.reset();
        return false;
    }
    if (state.pixels)
        convertPngColour(state);
    return true;
}

} // namespace

bool probePng(const QByteArray &bytes, BitmapPageInfo &page, QString &error)
{
    PngDecode state;
    if (!readPng(bytes, false, state, error))
        return false;
    page = pageInfo(state.width, state.height, state.dpi, state.orientation);
    return true;
}

std::shared_ptr<PixelBuffer> decodePng(const QByteArray &bytes, QString &error)
{
    PngDecode state;
    if (!readPng(bytes, true, state, error))
        return nullptr;
    return applyOrientation(std::move(state.pixels), state.orientation);
}

} // namespace codec
