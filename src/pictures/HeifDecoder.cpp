// HEIC and AVIF (HEVC or AV1 in the HEIF container) through libheif, which reads the
// primary image and applies the container's own turns and mirrors (irot, imir) and crop.
// Those are what the container means; an EXIF orientation beside them is not applied
// again (writers keep it only for other programs' sake).

#include "DecoderSupport.h"

#include "PictureLimits.h"
#include "TaggedColour.h"

#include <QSysInfo>
#include <algorithm>
#include <cstring>
#include <libheif/heif.h>
#include <mutex>
#include <vector>

namespace codec {
namespace {

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct HeifFile {
    heif_context *context = nullptr;
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    ~HeifFile()
    {
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
};

QString reason(const heif_error &error)
{
    return QString::fromUtf8(error.message ? error.message : "unknown error").trimmed();
}

// The resolution an EXIF item gives (its first four bytes say where the TIFF part starts).
Resolution exifResolution(const heif_image_handle *handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1)
        return {};
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 8 || size > (1u << 20))
        return {};
    std::vector<unsigned char> item(size);
    if (heif_image_handle_get_metadata(handle, id, item.data()).code != heif_error_Ok)
        return {};
    const size_t tiff = 4 + (size_t(item[0]) << 24 | size_t(item[1]) << 16 | size_t(item[2]) << 8 | item[3]);
    if (tiff >= size)
        return {};
    std::vector<unsigned char> exif = {'E', 'x', 'i', 'f', 0, 0};
    exif.insert(exif.end(), item.begin() + std::ptrdiff_t(tiff), item.end());
    return readExif(exif.data(), unsigned(exif.size())).dpi;
}

bool openHeif(const QByteArray &bytes, HeifFile &file, BitmapPageInfo &page, QString &error)
{
    initialiseOnce();
    file.context = heif_context_alloc();
    if (!file.context) {
        error = QStringLiteral("not enough memory");
        return false;
    }
    heif_context_set_maximum_image_size_limit(file.context, PictureLimits::maxSide);
    heif_error e = heif_context_read_from_memory_without_copy(file.context, bytes.constData(), size_t(bytes.size()), nullptr);
    if (e.code == heif_error_Ok)
        e = heif_context_get_primary_image_handle(file.context, &file.handle);
    if (e.code != heif_error_Ok) {
        error = QStringLiteral("libheif cannot read it (%1)").arg(reason(e));
        return false;
    }
    // Sizes after the container's turns and crop.
    const int width = heif_image_handle_get_width(file.handle);
    const int height = heif_image_handle_get_height(file.handle);
    error = PictureLimits::check(width, height);
    if (!error.isEmpty())
        return false;
    page = pageInfo(width, height, exifResolution(file.handle), 1);
    return true;
}

TaggedColour nclxColour(const heif_image_handle *handle)
{
    TaggedColour colour;
    heif_color_profile_nclx *nclx = nullptr;
    const heif_error e = heif_image_handle_get_nclx_color_profile(handle, &nclx);
    // libheif hands out its record even when it refuses a code in it.
    if (e.code != heif_error_Ok || !nclx) {
        if (nclx)
            heif_nclx_color_profile_free(nclx);
        return colour;
    }
    // Unspecified primaries (2) are taken as sRGB's, as libheif fills them in.
    if (nclx->color_primaries != heif_color_primaries_unspecified)
        colour.primaries = Chromaticities{nclx->color_primary_white_x, nclx->color_primary_white_y,
                                          nclx->color_primary_red_x,   nclx->color_primary_red_y,
                                          nclx->color_primary_green_x, nclx->color_primary_green_y,
                                          nclx->color_primary_blue_x,  nclx->color_primary_blue_y};
    colour.exponent = exponentForTransfer(int(nclx->transfer_characteristics));
    heif_nclx_color_profile_free(nclx);
    return colour;
}

void convertColour(const heif_image_handle *handle, PixelBuffer &pixels)
{
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        QByteArray profile(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), 0);
        if (!profile.isEmpty() && heif_image_handle_get_raw_color_profile(handle, profile.data()).code == heif_error_Ok)
            convertToSrgb(pixels, profile);
        break;
    }
    case heif_color_profile_type_nclx:
        convertTaggedToSrgb(pixels, nclxColour(handle));
        break;
    default:
        break;
    }
}

} // namespace

bool probeHeif(const QByteArray &bytes, BitmapPageInfo &page, QString &error)
{
    HeifFile file;
    return openHeif(bytes, file, page, error);
}

std::shared_ptr<PixelBuffer> decodeHeif(const QByteArray &bytes, QString &error)
{
    HeifFile file;
    BitmapPageInfo page;
    if (!openHeif(bytes, file, page, error))
        return nullptr;
    const bool alpha = heif_image_handle_has_alpha_channel(file.handle);
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(file.handle) > 8;
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (deep && alpha)
        chroma = little ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBBAA_BE;
    else if (deep)
        chroma = little ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RRGGBB_BE;
    // A grid's own header may claim a far larger picture than the container's extents,
    // which libheif would allocate and clear (a gigabyte, tens of seconds) before finding
    // the tiles missing. Tiles may be coded larger than a small picture (a 16 x 12 one as
    // a 64 x 64 tile), so up to 4096 a side is let through, some 100 MB at worst; libheif
    // refuses a side equal to its limit.
    const int extent = std::max(heif_image_handle_get_ispe_width(file.handle), heif_image_handle_get_ispe_height(file.handle));
    heif_context_set_maximum_image_size_limit(file.context, std::max(extent, 4096) + 1);
    heif_decoding_options *options = heif_decoding_options_alloc();
    const heif_error e = heif_decode_image(file.handle, &file.image, heif_colorspace_RGB, chroma, options);
    heif_decoding_options_free(options);
    if (e.code != heif_error_Ok) {
        error = QStringLiteral("libheif cannot decode it (%1)").arg(reason(e));
        return nullptr;
    }
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(file.image, heif_channel_interleaved, &stride);
    if (!plane || heif_image_get_width(file.image, heif_channel_interleaved) != page.width
        || heif_image_get_height(file.image, heif_channel_interleaved) != page.height) {
        error = QStringLiteral("its decoded picture is not the size its container gives");
        return nullptr;
    }
    auto pixels = createChecked(page.width, page.height, alpha ? 4 : 3, deep ? 16 : 8, error);
    if (!pixels)
        return nullptr;
    // Deep samples of 10 or 12 bits widen to 16.
    const int bits = heif_image_get_bits_per_pixel_range(file.image, heif_channel_interleaved);
    const uint32_t top = (1u << std::clamp(bits, 1, 16)) - 1;
    const size_t samples = size_t(page.width) * size_t(pixels->channels);
    for (int y = 0; y < page.height; ++y) {
        const uint8_t *in = plane + size_t(y) * size_t(stride);
        if (!deep) {
            std::memcpy(pixels->row(y), in, samples);
            continue;
        }
        const auto *from = reinterpret_cast<const uint16_t *>(in);
        auto *to = reinterpret_cast<uint16_t *>(pixels->row(y));
        for (size_t i = 0; i < samples; ++i)
            to[i] = uint16_t((std::min<uint32_t>(from[i], top) * 65535u + top / 2) / top);
    }
    if (alpha && heif_image_handle_is_premultiplied_alpha(file.handle)) {
        if (deep)
            unpremultiply16(*pixels);
        else
            unpremultiply(*pixels);
    }
    convertColour(file.handle, *pixels);
    return pixels;
}

} // namespace codec
