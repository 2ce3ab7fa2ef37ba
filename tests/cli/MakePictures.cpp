// Writes COUNT photo-like JPEG pictures of W x H pixels into a folder, each of its own
// colours, for tests that need many pictures that take some converting.

#include "ImageEncoders.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
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
        auto pixels = TestPictures::photo(w, h);
        // Pictures that differ, so that an output made from the wrong one shows.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels->row(y)[3 * x] = uint8_t(pixels->row(y)[3 * x] + 40 * i);
        QFile file(QStringLiteral("%1/picture-%2.jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(encodeImage(*pixels, ImageEncoding::JPEG, 0.9f)) <= 0)
            return 1;
    }
    return 0;
}
