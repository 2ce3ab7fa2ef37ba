#include "DecoderSupport.h"

#include "PictureLimits.h"

#include <algorithm>
#include <libexif/exif-data.h>

namespace codec {

namespace {

QSizeF pointsFor(int width, int height, Resolution dpi)
{
    const double x = dpi.x > 0 ? dpi.x : (dpi.y > 0 ? dpi.y : 72.0);
    const double y = dpi.y > 0 ? dpi.y : x;
    return QSizeF(width * 72.0 / x, height * 72.0 / y);
}

} // namespace

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

namespace {

IccLayout rgbLayout(int channels, int bits)
{
    if (channels == 4)
        return bits == 16 ? IccLayout::RGBA16 : IccLayout::RGBA8;
    return bits == 16 ? IccLayout::RGB16 : IccLayout::RGB8;
}

} // namespace

void convertToSrgb(PixelBuffer &pixels, const QByteArray &profile)
{
    if (profile.isEmpty() || pixels.channels < 3)
        return;
    const IccLayout layout = rgbLayout(pixels.channels, pixels.bitsPerChannel);
    const auto transform = IccTransform::forProfile(profile, layout, layout);
    if (!transform)
        return;
    for (int y = 0; y < pixels.height; ++y)
        transform->apply(pixels.row(y), pixels.row(y), size_t(pixels.width));
}

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

} // namespace codec
