#include "TestPictures.h"

#include <QFile>
#include <algorithm>
#include <cmath>

namespace TestPictures {

std::shared_ptr<PixelBuffer> make(int width, int height, int channels, int bits,
                                  const std::function<void(int, int, uint16_t *)> &colour)
{
    auto buffer = PixelBuffer::create(width, height, channels, bits);
    uint16_t values[4] = {};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            colour(x, y, values);
            for (int c = 0; c < channels; ++c) {
                if (bits == 8)
                    buffer->row(y)[x * channels + c] = uint8_t(values[c]);
                else
                    reinterpret_cast<uint16_t *>(buffer->row(y))[x * channels + c] = values[c];
            }
        }
    return buffer;
}

std::shared_ptr<PixelBuffer> photo(int width, int height)
{
    uint32_t state = 2024;
    return make(width, height, 3, 8, [&](int x, int y, uint16_t *out) {
        state = state * 1664525u + 1013904223u;
        const int grain = int(state >> 27) - 16;
        const int texture = int(24 * std::sin(x * 0.7) * std::cos(y * 0.45) + 16 * std::sin((x + 2 * y) * 0.11));
        const bool disc = (x - width / 3) * (x - width / 3) + (y - height / 2) * (y - height / 2) < height * height / 9;
        const int sky = 60 + 150 * y / height;
        out[0] = uint16_t(std::clamp((disc ? 200 : sky) + grain + texture, 0, 255));
        out[1] = uint16_t(std::clamp((disc ? 90 : 40 + 120 * x / width) + grain - texture / 2, 0, 255));
        out[2] = uint16_t(std::clamp((disc ? 40 : 255 - sky) + grain + ((x / 6 + y / 6) % 2) * 25, 0, 255));
    });
}

QString path(const QString &name)
{
    return QStringLiteral(QP_TEST_PICTURES "/") + name;
}

QByteArray bytes(const QString &name)
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test picture %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray withOrientation(QByteArray bytes, int orientation)
{
    // Tag 0x0112, type SHORT, one value.
    const qsizetype tag = bytes.indexOf(QByteArray("\x12\x01\x03\x00\x01\x00\x00\x00", 8));
    if (tag < 0)
        qFatal("no orientation tag to set");
    bytes[tag + 8] = char(orientation);
    return bytes;
}

} // namespace TestPictures
