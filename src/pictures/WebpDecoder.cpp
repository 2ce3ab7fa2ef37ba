#include "DecoderSupport.h"

#include "PictureLimits.h"

#include <cstring>
#include <webp/decode.h>
#include <webp/demux.h>

namespace codec {
namespace {

struct Demuxer {
    WebPDemuxer *demux = nullptr;
    WebPIterator frame{};
    bool haveFrame = false;
    ~Demuxer()
    {
        if (haveFrame)
            WebPDemuxReleaseIterator(&frame);
        WebPDemuxDelete(demux);
    }
};

struct WebpFacts {
    int width = 0; // the canvas, which an animation's first frame may not cover
    int height = 0;
    int orientation = 1;
    Resolution dpi;
    QByteArray profile;
};

QByteArray chunk(const WebPDemuxer *demux, const char *fourcc)
{
    WebPChunkIterator it{};
    QByteArray bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &it))
        bytes = QByteArray(reinterpret_cast<const char *>(it.chunk.bytes), qsizetype(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    return bytes;
}

// Opens the container and its first frame (the picture itself, or an animation's first).
bool openWebp(const QByteArray &bytes, Demuxer &d, WebpFacts &facts, QString &error)
{
    const WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    d.demux = WebPDemux(&data);
    if (!d.demux) {
        error = QStringLiteral("it is not a complete WebP file");
        return false;
    }
    facts.width = int(WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_WIDTH));
    facts.height = int(WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_HEIGHT));
    error = PictureLimits::check(facts.width, facts.height);
    if (!error.isEmpty())
        return false;
    d.haveFrame = WebPDemuxGetFrame(d.demux, 1, &d.frame);
    if (!d.haveFrame || d.frame.width <= 0 || d.frame.height <= 0 || d.frame.x_offset < 0 || d.frame.y_offset < 0
        || d.frame.x_offset + d.frame.width > facts.width || d.frame.y_offset + d.frame.height > facts.height) {
        error = QStringLiteral("its first frame lies outside the picture");
        return false;
    }
    const uint32_t flags = WebPDemuxGetI(d.demux, WEBP_FF_FORMAT_FLAGS);
    if (flags & ICCP_FLAG)
        facts.profile = chunk(d.demux, "ICCP");
    if (flags & EXIF_FLAG) {
        // Written with or without the "Exif\0\0" that JPEG's segment starts with.
        QByteArray exif = chunk(d.demux, "EXIF");
        if (!exif.startsWith(QByteArray("Exif\0\0", 6)))
            exif.prepend(QByteArray("Exif\0\0", 6));
        if (exif.size() > 6 && exif.size() < (1 << 20)) {
            const ExifFacts read = readExif(reinterpret_cast<const unsigned char *>(exif.constData()), unsigned(exif.size()));
            facts.orientation = read.orientation;
            facts.dpi = read.dpi;
        }
    }
    return true;
}

QString statusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return QStringLiteral("not enough memory");
    case VP8_STATUS_NOT_ENOUGH_DATA: return QStringLiteral("the file ends before the picture does");
    case VP8_STATUS_UNSUPPORTED_FEATURE: return QStringLiteral("it uses a WebP feature libwebp does not support");
    default: return QStringLiteral("its WebP data is broken");
    }
}

// The frame alone: RGBA when it has transparency or leaves part of the canvas bare.
std::shared_ptr<PixelBuffer> decodeFrame(const WebPIterator &frame, bool coversCanvas, QString &error)
{
    const bool alpha = frame.has_alpha || !coversCanvas;
    auto pixels = createChecked(frame.width, frame.height, alpha ? 4 : 3, 8, error);
    if (!pixels)
        return nullptr;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        error = QStringLiteral("libwebp does not match the version it was built for");
        return nullptr;
    }
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels->row(0);
    config.output.u.RGBA.stride = int(pixels->stride);
    config.output.u.RGBA.size = pixels->stride * size_t(pixels->height);
    const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        error = statusText(status);
        return nullptr;
    }
    if (config.output.width != frame.width || config.output.height != frame.height) {
        error = QStringLiteral("its frame is not the size its container gives");
        return nullptr;
    }
    return pixels;
}

} // namespace

bool probeWebp(const QByteArray &bytes, BitmapPageInfo &page, QString &error)
{
    Demuxer d;
    WebpFacts facts;
    if (!openWebp(bytes, d, facts, error))
        return false;
    page = pageInfo(facts.width, facts.height, facts.dpi, facts.orientation);
    return true;
}

std::shared_ptr<PixelBuffer> decodeWebp(const QByteArray &bytes, QString &error)
{
    Demuxer d;
    WebpFacts facts;
    if (!openWebp(bytes, d, facts, error))
        return nullptr;
    const WebPIterator &frame = d.frame;
    auto pixels = decodeFrame(frame, frame.width == facts.width && frame.height == facts.height, error);
    if (!pixels)
        return nullptr;
    // An animation's first frame may cover part of the canvas, which browsers show
    // transparent around it. The canvas is made only once the frame has decoded, so a
    // broken file that claims a huge canvas costs nothing.
    if (pixels->width != facts.width || pixels->height != facts.height) {
        auto canvas = createChecked(facts.width, facts.height, 4, 8, error);
        if (!canvas)
            return nullptr;
        std::memset(canvas->row(0), 0, canvas->stride * size_t(canvas->height));
        for (int y = 0; y < pixels->height; ++y)
            std::memcpy(canvas->row(frame.y_offset + y) + size_t(frame.x_offset) * 4, pixels->row(y), pixels->stride);
        pixels = std::move(canvas);
    }
    convertToSrgb(*pixels, facts.profile);
    return applyOrientation(std::move(pixels), facts.orientation);
}

} // namespace codec
