#include "ImageDecoders.h"

#include "DecoderSupport.h"

#include <algorithm>
#include <cstring>
#include <new>

// Our buffers beside the libraries' come from std::vector, which throws when memory is short.
static bool probeBitmapOrThrow(const QByteArray &bytes, PictureFormat format, std::vector<BitmapPageInfo> &pages, QString &error);
static std::shared_ptr<PixelBuffer> decodeBitmapOrThrow(const QByteArray &bytes, PictureFormat format, int page, int shift, QString &error);

const QStringList &pictureFileExtensions()
{
    static const QStringList extensions = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "tif", "tiff", "pdf", "ai", "eps", "webp", "avif", "heic", "heif"};
    return extensions;
}

namespace {

// An ISO base media file whose brands (the major one or any compatible one) name a
// HEIF image: HEVC stills and sequences, AV1 stills and sequences, or the general one.
bool isHeif(const QByteArray &bytes)
{
    if (bytes.size() < 16 || bytes.mid(4, 4) != "ftyp")
        return false;
    const quint32 boxSize = quint32(quint8(bytes[0])) << 24 | quint32(quint8(bytes[1])) << 16 | quint32(quint8(bytes[2])) << 8
                          | quint32(quint8(bytes[3]));
    const qsizetype end = std::min<qsizetype>(bytes.size(), std::min<quint32>(boxSize, 4096));
    static const char *const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
    for (qsizetype at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) // the minor version after the major brand is no brand
        for (const char *brand : brands)
            if (std::memcmp(bytes.constData() + at, brand, 4) == 0)
                return true;
    return false;
}

} // namespace

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
    if (startsWith("RIFF", 4) && bytes.size() >= 12 && bytes.mid(8, 4) == "WEBP")
        return PictureFormat::WebP;
    if (isHeif(bytes))
        return PictureFormat::HEIF;
    if (startsWith("%!PS", 4) || startsWith("\xC5\xD0\xD3\xC6", 4))
        return PictureFormat::EPS;
    if (QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 1024)).contains("%PDF-"))
        return PictureFormat::PDF;
    return PictureFormat::Unknown;
}

bool probeBitmap(const QByteArray &bytes, PictureFormat format, std::vector<BitmapPageInfo> &pages, QString &error)
{
    pages.clear();
    try {
        return probeBitmapOrThrow(bytes, format, pages, error);
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("not enough memory");
        return false;
    }
}

bool probeBitmapOrThrow(const QByteArray &bytes, PictureFormat format, std::vector<BitmapPageInfo> &pages, QString &error)
{
    switch (format) {
    case PictureFormat::JPEG: {
        BitmapPageInfo page;
        if (!codec::probeJpeg(bytes, page, error))
            return false;
        pages.push_back(page);
        return true;
    }
    case PictureFormat::PNG: {
        BitmapPageInfo page;
        if (!codec::probePng(bytes, page, error))
            return false;
        pages.push_back(page);
        return true;
    }
    case PictureFormat::GIF: {
        BitmapPageInfo page;
        if (!codec::probeGif(bytes, page, error))
            return false;
        pages.push_back(page);
        return true;
    }
    case PictureFormat::WebP:
    case PictureFormat::HEIF: {
        BitmapPageInfo page;
        if (!(format == PictureFormat::WebP ? codec::probeWebp(bytes, page, error) : codec::probeHeif(bytes, page, error)))
            return false;
        pages.push_back(page);
        return true;
    }
    case PictureFormat::TIFF:
        return codec::probeTiff(bytes, pages, error);
    default:
        error = QStringLiteral("it is not a bitmap picture");
        return false;
    }
}

std::shared_ptr<PixelBuffer> decodeBitmap(const QByteArray &bytes, PictureFormat format, int page, int shift, QString &error)
{
    error.clear();
    try {
        return decodeBitmapOrThrow(bytes, format, page, shift, error);
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("not enough memory");
        return nullptr;
    }
}

std::shared_ptr<PixelBuffer> decodeBitmapOrThrow(const QByteArray &bytes, PictureFormat format, int page, int shift, QString &error)
{
    switch (format) {
    case PictureFormat::JPEG:
        return codec::decodeJpeg(bytes, shift, error);
    case PictureFormat::PNG:
        return codec::decodePng(bytes, error);
    case PictureFormat::GIF:
        return codec::decodeGif(bytes, error);
    case PictureFormat::TIFF:
        return codec::decodeTiff(bytes, page, error);
    case PictureFormat::WebP:
        return codec::decodeWebp(bytes, error);
    case PictureFormat::HEIF:
        return codec::decodeHeif(bytes, error);
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
    const bool swap = codec::swapsSides(orientation);
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
