#include "ImageDecoders.h"

#include "ColorManagement.h"
#include "JpegError.h"
#include "PictureLimits.h"
#include "TiffStream.h"

#include <QSysInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <libexif/exif-data.h>
#include <png.h>

namespace {

// ---------------------------------------------------------------- shared helpers

struct Resolution {
    double x = 0; // dots per inch; 0 when the file says nothing
    double y = 0;
};

QSizeF pointsFor(int width, int height, Resolution dpi)
{
    const double x = dpi.x > 0 ? dpi.x : (dpi.y > 0 ? dpi.y : 72.0);
    const double y = dpi.y > 0 ? dpi.y : x;
    return QSizeF(width * 72.0 / x, height * 72.0 / y);
}

bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

BitmapPageInfo pageInfo(int storedWidth, int storedHeight, Resolution dpi, int orientation)
{
    BitmapPageInfo info;
    if (swapsSides(orientation)) {
        std::swap(storedWidth, storedHeight);
        std::swap(dpi.x, dpi.y);
    }
    info.width = storedWidth;
    info.height = storedHeight;
    info.points = pointsFor(storedWidth, storedHeight, dpi);
    return info;
}

double toDpi(double value, int unit) // unit: 2 inch, 3 centimetre, anything else none
{
    if (!(value > 0) || value > 1e6)
        return 0;
    if (unit == 2)
        return value;
    if (unit == 3)
        return value * 2.54;
    return 0;
}

struct ExifFacts {
    int orientation = 1;
    Resolution dpi;
};

// `data` starts with "Exif\0\0", as in a JPEG's APP1 segment.
ExifFacts readExif(const unsigned char *data, unsigned size)
{
    ExifFacts facts;
    ExifData *exif = exif_data_new();
    if (!exif)
        return facts;
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, data, size);
    const ExifByteOrder order = exif_data_get_byte_order(exif);
    ExifContent *ifd0 = exif->ifd[EXIF_IFD_0];
    if (ExifEntry *entry = exif_content_get_entry(ifd0, EXIF_TAG_ORIENTATION);
        entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2) {
        const int value = exif_get_short(entry->data, order);
        if (value >= 1 && value <= 8)
            facts.orientation = value;
    }
    int unit = 2;
    if (ExifEntry *entry = exif_content_get_entry(ifd0, EXIF_TAG_RESOLUTION_UNIT);
        entry && entry->format == EXIF_FORMAT_SHORT && entry->size >= 2)
        unit = exif_get_short(entry->data, order);
    auto rational = [&](ExifTag tag) {
        ExifEntry *entry = exif_content_get_entry(ifd0, tag);
        if (!entry || entry->format != EXIF_FORMAT_RATIONAL || entry->size < 8)
            return 0.0;
        const ExifRational r = exif_get_rational(entry->data, order);
        return r.denominator ? double(r.numerator) / r.denominator : 0.0;
    };
    facts.dpi.x = toDpi(rational(EXIF_TAG_X_RESOLUTION), unit);
    facts.dpi.y = toDpi(rational(EXIF_TAG_Y_RESOLUTION), unit);
    exif_data_unref(exif);
    return facts;
}

std::shared_ptr<PixelBuffer> createChecked(int width, int height, int channels, int bits, QString &error)
{
    error = PictureLimits::check(width, height);
    if (!error.isEmpty())
        return nullptr;
    auto buffer = PixelBuffer::create(width, height, channels, bits);
    if (!buffer)
        error = QStringLiteral("not enough memory for %1 x %2 pixels").arg(width).arg(height);
    return buffer;
}

IccLayout rgbLayout(int channels, int bits)
{
    if (channels == 4)
        return bits == 16 ? IccLayout::RGBA16 : IccLayout::RGBA8;
    return bits == 16 ? IccLayout::RGB16 : IccLayout::RGB8;
}

// Converts colour pixels tagged with `profile` to sRGB in place.
void convertToSrgb(PixelBuffer &pixels, const QByteArray &profile)
{
    if (profile.isEmpty() || pixels.channels < 3)
        return;
    const IccLayout layout = rgbLayout(pixels.channels, pixels.bitsPerChannel);
    const IccTransform *transform = IccTransform::forProfile(profile, layout, layout);
    if (!transform)
        return;
    for (int y = 0; y < pixels.height; ++y)
        transform->apply(pixels.row(y), pixels.row(y), size_t(pixels.width));
}

// CMYK without a profile, the way a printer's naive inverse would show it.
void naiveCmykRow(const uint8_t *cmyk, uint8_t *rgb, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = uint8_t((v * k + 127u) / 255u);
        }
    }
}

// ---------------------------------------------------------------- JPEG

struct JpegDecode {
    jpeg_decompress_struct info;
    JpegError error;
    jpeg_progress_mgr progress;
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
const IccTransform *jpegTransform(const JOCTET *icc, unsigned size, bool cmyk, bool inverted, int channels)
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
    const IccTransform *transform = jpegTransform(state.icc, state.iccSize, cmyk, inverted, channels);

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

// ---------------------------------------------------------------- PNG

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
    png_set_user_limits(png, PictureLimits::maxSide, PictureLimits::maxSide);
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
        convertToSrgb(*state.pixels, state.profile);
    return true;
}

// ---------------------------------------------------------------- GIF

struct GifSource {
    const QByteArray *bytes;
    qsizetype position = 0;
};

int gifRead(GifFileType *gif, GifByteType *out, int length)
{
    auto *source = static_cast<GifSource *>(gif->UserData);
    const qsizetype count = std::clamp<qsizetype>(source->bytes->size() - source->position, 0, length);
    std::memcpy(out, source->bytes->constData() + source->position, size_t(count));
    source->position += count;
    return int(count);
}

struct GifFile {
    GifFileType *gif = nullptr;
    ~GifFile()
    {
        if (gif)
            DGifCloseFile(gif, nullptr);
    }
};

// The first frame on its logical screen; areas the frame leaves open are transparent.
std::shared_ptr<PixelBuffer> readGif(const QByteArray &bytes, bool decode, BitmapPageInfo &page, QString &error)
{
    GifSource source{&bytes};
    int code = 0;
    GifFile file;
    file.gif = DGifOpen(&source, gifRead, &code);
    if (!file.gif) {
        error = QString::fromUtf8(GifErrorString(code));
        return nullptr;
    }
    GifFileType *gif = file.gif;
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            error = QString::fromUtf8(GifErrorString(gif->Error));
            return nullptr;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            error = QStringLiteral("the file holds no picture");
            return nullptr;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int extension = 0;
            GifByteType *block = nullptr;
            if (DGifGetExtension(gif, &extension, &block) == GIF_ERROR) {
                error = QString::fromUtf8(GifErrorString(gif->Error));
                return nullptr;
            }
            if (extension == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                transparent = (block[1] & 1) ? block[4] : -1;
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    error = QString::fromUtf8(GifErrorString(gif->Error));
                    return nullptr;
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            error = QString::fromUtf8(GifErrorString(gif->Error));
            return nullptr;
        }
        const GifImageDesc &frame = gif->Image;
        const int canvasWidth = gif->SWidth > 0 ? gif->SWidth : frame.Left + frame.Width;
        const int canvasHeight = gif->SHeight > 0 ? gif->SHeight : frame.Top + frame.Height;
        error = PictureLimits::check(canvasWidth, canvasHeight);
        if (error.isEmpty())
            error = PictureLimits::check(frame.Width, frame.Height);
        if (!error.isEmpty())
            return nullptr;
        page.width = canvasWidth;
        page.height = canvasHeight;
        page.points = QSizeF(canvasWidth, canvasHeight);
        if (!decode)
            return nullptr;
        const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
        if (!map || !map->Colors || map->ColorCount <= 0) {
            error = QStringLiteral("the picture has no colour table");
            return nullptr;
        }
        const bool covers = frame.Left == 0 && frame.Top == 0 && frame.Width >= canvasWidth && frame.Height >= canvasHeight;
        const int channels = (transparent >= 0 || !covers) ? 4 : 3;
        auto pixels = createChecked(canvasWidth, canvasHeight, channels, 8, error);
        if (!pixels)
            return nullptr;
        for (int y = 0; y < canvasHeight; ++y)
            std::memset(pixels->row(y), 0, pixels->stride);
        std::vector<GifPixelType> line(size_t(frame.Width));
        std::vector<int> order;
        order.reserve(size_t(frame.Height));
        if (frame.Interlace) {
            const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = starts[pass]; y < frame.Height; y += steps[pass])
                    order.push_back(y);
        } else {
            for (int y = 0; y < frame.Height; ++y)
                order.push_back(y);
        }
        for (int frameY : order) {
            if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
                error = QStringLiteral("the file ends before the picture does");
                return nullptr;
            }
            const int y = frame.Top + frameY;
            if (y < 0 || y >= canvasHeight)
                continue;
            uint8_t *row = pixels->row(y);
            for (int frameX = 0; frameX < frame.Width; ++frameX) {
                const int x = frame.Left + frameX;
                if (x < 0 || x >= canvasWidth)
                    continue;
                const int index = line[size_t(frameX)];
                uint8_t *out = row + size_t(x) * size_t(channels);
                if (index == transparent)
                    continue; // stays transparent
                const GifColorType colour = map->Colors[index < map->ColorCount ? index : 0];
                out[0] = colour.Red;
                out[1] = colour.Green;
                out[2] = colour.Blue;
                if (channels == 4)
                    out[3] = 255;
            }
        }
        return pixels;
    }
}

// ---------------------------------------------------------------- TIFF

struct TiffPage {
    uint32_t width = 0;
    uint32_t height = 0;
    int orientation = 1;
    Resolution dpi;
};

TiffPage readTiffPage(TIFF *tiff)
{
    TiffPage page;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    page.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x))
        page.dpi.x = toDpi(x, unit == RESUNIT_CENTIMETER ? 3 : unit == RESUNIT_INCH ? 2 : 0);
    if (TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y))
        page.dpi.y = toDpi(y, unit == RESUNIT_CENTIMETER ? 3 : unit == RESUNIT_INCH ? 2 : 0);
    return page;
}

constexpr tmsize_t tiffMaxAllocation = tmsize_t(PictureLimits::maxPixels) * 8;

bool probeTiff(const QByteArray &bytes, std::vector<BitmapPageInfo> &pages, QString &error)
{
    TiffStream stream(&bytes);
    TIFF *tiff = stream.open("r", tiffMaxAllocation);
    if (!tiff) {
        error = stream.error();
        return false;
    }
    qint64 total = 0;
    do {
        if (int(pages.size()) >= PictureLimits::maxPages) {
            error = QStringLiteral("more than %1 pages").arg(PictureLimits::maxPages);
            return false;
        }
        const TiffPage page = readTiffPage(tiff);
        error = PictureLimits::check(page.width, page.height);
        if (!error.isEmpty())
            return false;
        total += qint64(page.width) * page.height;
        if (total > PictureLimits::maxPixels) {
            error = QStringLiteral("its pages together hold more than the limit of %1 megapixels").arg(PictureLimits::maxPixels / 1'000'000);
            return false;
        }
        pages.push_back(pageInfo(int(page.width), int(page.height), page.dpi, page.orientation));
    } while (TIFFReadDirectory(tiff));
    return true;
}

template <typename T>
void invertSamples(PixelBuffer &pixels, T maximum, int colours)
{
    for (int y = 0; y < pixels.height; ++y) {
        T *row = reinterpret_cast<T *>(pixels.row(y));
        for (int x = 0; x < pixels.width; ++x)
            for (int c = 0; c < colours; ++c)
                row[x * pixels.channels + c] = T(maximum - row[x * pixels.channels + c]);
    }
}

void unpremultiply16(PixelBuffer &pixels)
{
    const int colours = pixels.channels - 1;
    for (int y = 0; y < pixels.height; ++y) {
        auto *p = reinterpret_cast<uint16_t *>(pixels.row(y));
        for (int x = 0; x < pixels.width; ++x, p += pixels.channels) {
            const uint32_t a = p[colours];
            if (a == 0 || a == 65535)
                continue;
            for (int c = 0; c < colours; ++c)
                p[c] = uint16_t(std::min<uint32_t>(65535u, (uint32_t(p[c]) * 65535u + a / 2) / a));
        }
    }
}

// Reads contiguous 8/16-bit samples, strip by strip or tile by tile, straight into `pixels`
// (whose channels may be fewer than the file's samples: extra samples are dropped).
bool readContiguous(TIFF *tiff, PixelBuffer &pixels, int samples, QString &error)
{
    const size_t sampleBytes = size_t(pixels.bitsPerChannel / 8);
    const size_t filePixel = size_t(samples) * sampleBytes;
    const size_t ourPixel = pixels.bytesPerPixel();
    auto copyRow = [&](const uint8_t *from, uint8_t *to, int count) {
        if (filePixel == ourPixel) {
            std::memcpy(to, from, size_t(count) * ourPixel);
            return;
        }
        for (int x = 0; x < count; ++x)
            std::memcpy(to + size_t(x) * ourPixel, from + size_t(x) * filePixel, ourPixel);
    };
    const int width = pixels.width;
    const int height = pixels.height;
    if (TIFFIsTiled(tiff)) {
        uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
        if (tileWidth == 0 || tileHeight == 0 || tileWidth > 65536 || tileHeight > 65536) {
            error = QStringLiteral("its tiles are malformed");
            return false;
        }
        std::vector<uint8_t> tile(size_t(tileWidth) * tileHeight * filePixel);
        for (uint32_t ty = 0; ty < uint32_t(height); ty += tileHeight)
            for (uint32_t tx = 0; tx < uint32_t(width); tx += tileWidth) {
                if (TIFFReadTile(tiff, tile.data(), tx, ty, 0, 0) < 0) {
                    error = QStringLiteral("a tile cannot be read");
                    return false;
                }
                const int rows = int(std::min<uint32_t>(tileHeight, uint32_t(height) - ty));
                const int columns = int(std::min<uint32_t>(tileWidth, uint32_t(width) - tx));
                for (int r = 0; r < rows; ++r)
                    copyRow(tile.data() + size_t(r) * tileWidth * filePixel,
                            pixels.row(int(ty) + r) + size_t(tx) * ourPixel, columns);
            }
        return true;
    }
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, uint32_t(height));
    const size_t fileRow = size_t(width) * filePixel;
    std::vector<uint8_t> strip(fileRow * rowsPerStrip);
    for (uint32_t y = 0; y < uint32_t(height); y += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, uint32_t(height) - y);
        const tmsize_t got = TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, 0), strip.data(), tmsize_t(fileRow * rows));
        if (got < tmsize_t(fileRow * rows)) {
            error = QStringLiteral("the file ends before the picture does");
            return false;
        }
        for (uint32_t r = 0; r < rows; ++r)
            copyRow(strip.data() + r * fileRow, pixels.row(int(y + r)), width);
    }
    return true;
}

QByteArray tiffProfile(TIFF *tiff)
{
    uint32_t size = 0;
    void *data = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &data) && data && size > 0)
        return QByteArray(static_cast<const char *>(data), qsizetype(size));
    return {};
}

// Everything libtiff's RGBA reader understands (palette, 1-bit, YCbCr, CMYK without a
// profile, separate planes, old JPEG), as 8-bit RGBA with premultiplied alpha in the order stored.
std::shared_ptr<PixelBuffer> tiffThroughRgba(TIFF *tiff, const TiffPage &page, QString &error)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message)) {
        error = QString::fromUtf8(message);
        return nullptr;
    }
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tiff, 0, message)) {
        error = QString::fromUtf8(message);
        return nullptr;
    }
    image.req_orientation = image.orientation; // we orient ourselves, rotations included
    const bool alpha = image.alpha != 0;
    auto pixels = createChecked(int(page.width), int(page.height), 4, 8, error);
    bool ok = false;
    if (pixels) {
        static_assert(sizeof(uint32_t) == 4);
        ok = TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t *>(pixels->data.get()), page.width, page.height) != 0;
    }
    TIFFRGBAImageEnd(&image);
    if (!ok) {
        if (error.isEmpty())
            error = QStringLiteral("the pixels cannot be read");
        return nullptr;
    }
    // libtiff packs each pixel as ABGR in a 32-bit word: bytes R, G, B, A on little-endian machines.
    for (int y = 0; y < pixels->height; ++y) {
        auto *words = reinterpret_cast<uint32_t *>(pixels->row(y));
        uint8_t *bytes = pixels->row(y);
        for (int x = 0; x < pixels->width; ++x) {
            const uint32_t v = words[x];
            bytes[x * 4 + 0] = uint8_t(TIFFGetR(v));
            bytes[x * 4 + 1] = uint8_t(TIFFGetG(v));
            bytes[x * 4 + 2] = uint8_t(TIFFGetB(v));
            bytes[x * 4 + 3] = uint8_t(TIFFGetA(v));
        }
    }
    if (!alpha) {
        // Narrow to RGB in place, row by row (each row shrinks, so nothing is overwritten early).
        auto rgb = PixelBuffer::create(pixels->width, pixels->height, 3, 8);
        if (!rgb) {
            error = QStringLiteral("not enough memory");
            return nullptr;
        }
        for (int y = 0; y < pixels->height; ++y) {
            const uint8_t *in = pixels->row(y);
            uint8_t *out = rgb->row(y);
            for (int x = 0; x < pixels->width; ++x, in += 4, out += 3)
                std::memcpy(out, in, 3);
        }
        return rgb;
    }
    unpremultiply(*pixels);
    return pixels;
}

std::shared_ptr<PixelBuffer> readTiff(const QByteArray &bytes, int pageIndex, QString &error)
{
    TiffStream stream(&bytes);
    TIFF *tiff = stream.open("r", tiffMaxAllocation);
    if (!tiff) {
        error = stream.error();
        return nullptr;
    }
    if (pageIndex < 0 || !TIFFSetDirectory(tiff, tdir_t(pageIndex))) {
        error = QStringLiteral("page %1 is missing").arg(pageIndex + 1);
        return nullptr;
    }
    const TiffPage page = readTiffPage(tiff);
    error = PictureLimits::check(page.width, page.height);
    if (!error.isEmpty())
        return nullptr;
    uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG,
             format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE, extraCount = 0, inkSet = INKSET_CMYK;
    uint16_t *extra = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    const QByteArray profile = tiffProfile(tiff);

    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_SEPARATED ? 4 : 0;
    const bool contiguous = planar == PLANARCONFIG_CONTIG || samples == 1;
    const bool plain = (bits == 8 || bits == 16) && format == SAMPLEFORMAT_UINT && contiguous && colours > 0 && samples >= colours;
    const bool hasAlpha = extraCount >= 1 && extra && samples > colours
        && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    const bool cmykWithProfile = photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK && bits == 8 && samples == 4
        && !profile.isEmpty() && iccProfileIsCmyk(profile);

    std::shared_ptr<PixelBuffer> pixels;
    if (plain && cmykWithProfile) {
        auto cmyk = createChecked(int(page.width), int(page.height), 4, 8, error);
        if (!cmyk || !readContiguous(tiff, *cmyk, samples, error))
            return nullptr;
        pixels = createChecked(int(page.width), int(page.height), 3, 8, error);
        const IccTransform *transform = IccTransform::forProfile(profile, IccLayout::CMYK8, IccLayout::RGB8);
        if (!pixels)
            return nullptr;
        for (int y = 0; y < pixels->height; ++y) {
            if (transform)
                transform->apply(cmyk->row(y), pixels->row(y), size_t(pixels->width));
            else
                naiveCmykRow(cmyk->row(y), pixels->row(y), pixels->width, false);
        }
    } else if (plain && colours != 4) {
        const int channels = colours + (hasAlpha ? 1 : 0);
        pixels = createChecked(int(page.width), int(page.height), channels, bits, error);
        if (!pixels || !readContiguous(tiff, *pixels, samples, error))
            return nullptr;
        if (photometric == PHOTOMETRIC_MINISWHITE) {
            if (bits == 8)
                invertSamples<uint8_t>(*pixels, 255, 1);
            else
                invertSamples<uint16_t>(*pixels, 65535, 1);
        }
        if (hasAlpha && extra[0] == EXTRASAMPLE_ASSOCALPHA) {
            if (bits == 8)
                unpremultiply(*pixels);
            else
                unpremultiply16(*pixels);
        }
        if (colours == 3)
            convertToSrgb(*pixels, profile);
    } else {
        pixels = tiffThroughRgba(tiff, page, error);
        if (!pixels)
            return nullptr;
        if (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR)
            convertToSrgb(*pixels, profile);
    }
    if (!stream.error().isEmpty()) {
        error = stream.error();
        return nullptr;
    }
    return applyOrientation(std::move(pixels), page.orientation);
}

} // namespace

// ---------------------------------------------------------------- public

PictureFormat sniffPictureFormat(const QByteArray &bytes)
{
    auto startsWith = [&](const char *magic, qsizetype length) {
        return bytes.size() >= length && std::memcmp(bytes.constData(), magic, size_t(length)) == 0;
    };
    if (startsWith("\xFF\xD8\xFF", 3))
        return PictureFormat::JPEG;
    if (startsWith("\x89PNG\r\n\x1A\n", 8))
        return PictureFormat::PNG;
    if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6))
        return PictureFormat::GIF;
    if (startsWith("II*\0", 4) || startsWith("MM\0*", 4) || startsWith("II+\0", 4) || startsWith("MM\0+", 4))
        return PictureFormat::TIFF;
    if (startsWith("%!PS", 4) || startsWith("\xC5\xD0\xD3\xC6", 4))
        return PictureFormat::EPS;
    if (QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 1024)).contains("%PDF-"))
        return PictureFormat::PDF;
    return PictureFormat::Unknown;
}

bool probeBitmap(const QByteArray &bytes, PictureFormat format, std::vector<BitmapPageInfo> &pages, QString &error)
{
    pages.clear();
    switch (format) {
    case PictureFormat::JPEG: {
        JpegDecode state;
        if (!readJpeg(bytes, false, 0, state, error))
            return false;
        pages.push_back(pageInfo(state.storedWidth, state.storedHeight, state.dpi, state.orientation));
        return true;
    }
    case PictureFormat::PNG: {
        PngDecode state;
        if (!readPng(bytes, false, state, error))
            return false;
        pages.push_back(pageInfo(state.width, state.height, state.dpi, state.orientation));
        return true;
    }
    case PictureFormat::GIF: {
        BitmapPageInfo page;
        readGif(bytes, false, page, error);
        if (!error.isEmpty())
            return false;
        pages.push_back(page);
        return true;
    }
    case PictureFormat::TIFF:
        return probeTiff(bytes, pages, error);
    default:
        error = QStringLiteral("it is not a bitmap picture");
        return false;
    }
}

std::shared_ptr<PixelBuffer> decodeBitmap(const QByteArray &bytes, PictureFormat format, int page, int shift, QString &error)
{
    error.clear();
    switch (format) {
    case PictureFormat::JPEG: {
        JpegDecode state;
        if (!readJpeg(bytes, true, shift, state, error))
            return nullptr;
        return applyOrientation(std::move(state.pixels), state.orientation);
    }
    case PictureFormat::PNG: {
        PngDecode state;
        if (!readPng(bytes, true, state, error))
            return nullptr;
        return applyOrientation(std::move(state.pixels), state.orientation);
    }
    case PictureFormat::GIF: {
        BitmapPageInfo info;
        return readGif(bytes, true, info, error);
    }
    case PictureFormat::TIFF:
        return readTiff(bytes, page, error);
    default:
        error = QStringLiteral("it is not a bitmap picture");
        return nullptr;
    }
}

std::shared_ptr<PixelBuffer> applyOrientation(std::shared_ptr<PixelBuffer> pixels, int orientation)
{
    if (!pixels || orientation <= 1 || orientation > 8)
        return pixels;
    const int w = pixels->width;
    const int h = pixels->height;
    const bool swap = swapsSides(orientation);
    auto out = PixelBuffer::create(swap ? h : w, swap ? w : h, pixels->channels, pixels->bitsPerChannel);
    if (!out)
        return nullptr;
    const size_t bpp = pixels->bytesPerPixel();
    // Walks the output in blocks so that the column-wise reads of a rotation stay in cache.
    constexpr int block = 64;
    for (int by = 0; by < out->height; by += block)
        for (int bx = 0; bx < out->width; bx += block)
            for (int dy = by; dy < std::min(by + block, out->height); ++dy) {
                uint8_t *dst = out->row(dy) + size_t(bx) * bpp;
                for (int dx = bx; dx < std::min(bx + block, out->width); ++dx, dst += bpp) {
                    int sx = dx, sy = dy;
                    switch (orientation) {
                    case 2: sx = w - 1 - dx; break;
                    case 3: sx = w - 1 - dx; sy = h - 1 - dy; break;
                    case 4: sy = h - 1 - dy; break;
                    case 5: sx = dy; sy = dx; break;
                    case 6: sx = dy; sy = h - 1 - dx; break;
                    case 7: sx = w - 1 - dy; sy = h - 1 - dx; break;
                    case 8: sx = w - 1 - dy; sy = dx; break;
                    }
                    std::memcpy(dst, pixels->row(sy) + size_t(sx) * bpp, bpp);
                }
            }
    return out;
}

void unpremultiply(PixelBuffer &pixels)
{
    if (!pixels.hasAlpha() || pixels.bitsPerChannel != 8)
        return;
    const int colours = pixels.channels - 1;
    for (int y = 0; y < pixels.height; ++y) {
        uint8_t *p = pixels.row(y);
        for (int x = 0; x < pixels.width; ++x, p += pixels.channels) {
            const unsigned a = p[colours];
            if (a == 0 || a == 255)
                continue;
            for (int c = 0; c < colours; ++c)
                p[c] = uint8_t(std::min(255u, (p[c] * 255u + a / 2) / a));
        }
    }
}
