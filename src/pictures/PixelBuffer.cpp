#include "PixelBuffer.h"

#include <limits>
#include <new>

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, int channels, int bitsPerChannel)
{
    if (width <= 0 || height <= 0 || channels < 1 || channels > 4 || (bitsPerChannel != 8 && bitsPerChannel != 16))
        return nullptr;
    const size_t bytesPerPixel = size_t(channels) * size_t(bitsPerChannel / 8);
    const size_t stride = size_t(width) * bytesPerPixel;
    if (size_t(height) > std::numeric_limits<size_t>::max() / stride)
        return nullptr;
    auto buffer = std::make_shared<PixelBuffer>();
    buffer->data.reset(new (std::nothrow) uint8_t[stride * size_t(height)]);
    if (!buffer->data)
        return nullptr;
    buffer->width = width;
    buffer->height = height;
    buffer->channels = channels;
    buffer->bitsPerChannel = bitsPerChannel;
    buffer->stride = stride;
    return buffer;
}
