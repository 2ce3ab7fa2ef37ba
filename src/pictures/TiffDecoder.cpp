#include "DecoderSupport.h"

#include "PictureLimits.h"
#include "TiffStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace codec {
namespace {

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
        // Real files use tiles of 256 or 512 pixels; a huge claimed tile must not size our buffer.
        if (tileWidth == 0 || tileHeight == 0 || quint64(tileWidth) * tileHeight > (quint64(1) << 24)) {
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

} // namespace

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

std::shared_ptr<PixelBuffer> decodeTiff(const QByteArray &bytes, int pageIndex, QString &error)
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
        const auto transform = IccTransform::forProfile(profile, IccLayout::CMYK8, IccLayout::RGB8);
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

} // namespace codec
