#include "DecoderSupport.h"

#include "PictureLimits.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <vector>

namespace codec {
namespace {

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

// What the frame leaves open on the screen becomes transparent.
void clearAroundFrame(PixelBuffer &pixels, const GifImageDesc &frame)
{
    const size_t bpp = pixels.bytesPerPixel();
    const int left = std::min(frame.Left, pixels.width);
    const int right = std::min(frame.Left + frame.Width, pixels.width);
    for (int y = 0; y < pixels.height; ++y) {
        if (y < frame.Top || y >= frame.Top + frame.Height) {
            std::memset(pixels.row(y), 0, pixels.stride);
            continue;
        }
        std::memset(pixels.row(y), 0, size_t(left) * bpp);
        std::memset(pixels.row(y) + size_t(right) * bpp, 0, size_t(pixels.width - right) * bpp);
    }
}

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
        // Nothing is cleared before the frame has decoded: a few bytes may claim a screen
        // of many megapixels, and touching all of it for a file that then ends costs seconds.
        auto pixels = createChecked(canvasWidth, canvasHeight, channels, 8, error);
        if (!pixels)
            return nullptr;
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
                if (index == transparent) {
                    std::memset(out, 0, size_t(channels));
                    continue;
                }
                const GifColorType colour = map->Colors[index < map->ColorCount ? index : 0];
                out[0] = colour.Red;
                out[1] = colour.Green;
                out[2] = colour.Blue;
                if (channels == 4)
                    out[3] = 255;
            }
        }
        clearAroundFrame(*pixels, frame);
        return pixels;
    }
}

} // namespace

bool probeGif(const QByteArray &bytes, BitmapPageInfo &page, QString &error)
{
    readGif(bytes, false, page, error);
    return error.isEmpty();
}

std::shared_ptr<PixelBuffer> decodeGif(const QByteArray &bytes, QString &error)
{
    BitmapPageInfo page;
    return readGif(bytes, true, page, error);
}

} // namespace codec
