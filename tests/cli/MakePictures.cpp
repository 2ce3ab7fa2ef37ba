// Writes COUNT photo-like JPEG pictures of W x H pixels into a folder, each of its own
// colours and detail, for tests that need many pictures that take some converting.

#include "ImageEncoders.h"
#include "PixelBuffer.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: qp_make_pictures FOLDER COUNT W H\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]);
    if (!QDir().mkpath(folder) || count < 1 || w < 1 || h < 1)
        return 2;
    for (int i = 0; i < count; ++i) {
        auto pixels = PixelBuffer::create(w, h, 3, 8);
        uint32_t noise = 2463534242u + uint32_t(i);
        for (int y = 0; y < h; ++y) {
            uint8_t *row = pixels->row(y);
            for (int x = 0; x < w; ++x) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                const double wave = std::sin((x + 37.0 * i) / (9.0 + i % 7)) * std::cos(y / (13.0 + i % 5));
                row[3 * x] = uint8_t((x * 255 / w + 40 * i) % 256);
                row[3 * x + 1] = uint8_t(std::clamp(128.0 + 100.0 * wave + (noise & 15), 0.0, 255.0));
                row[3 * x + 2] = uint8_t((y * 255 / h + 90 * i + (noise >> 28)) % 256);
            }
        }
        QFile file(QStringLiteral("%1/picture-%2.jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(encodeImage(*pixels, ImageEncoding::JPEG, 0.9f)) <= 0)
            return 1;
    }
    return 0;
}
