// Reads one file as the program does and prints what came of it, so a crash, hang or runaway allocation shows in
// this process's status, time and memory instead of taking the test down.  qp_read_picture read|reference PATH
// Prints "none", or a line per representation: "bitmap W H pixels|no-pixels", "vector W H drawn DARK RED" (pixels
// counted in the drawing at its size in points, at most 1024 a side) or "vector W H not-drawn"; and last on
// standard error "peak memory: N KB" (of this process; the helpers that draw pages are bounded by the program).

#include "Picture.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void describeDrawing(const PixelBuffer &pixels)
{
    long dark = 0, red = 0;
    for (int y = 0; pixels.bitsPerChannel == 8 && pixels.channels >= 3 && y < pixels.height; ++y) {
        const uint8_t *p = pixels.row(y);
        for (int x = 0; x < pixels.width; ++x, p += pixels.channels) {
            const bool opaque = pixels.channels == 3 || p[3] > 128;
            dark += opaque && p[0] < 64 && p[1] < 64 && p[2] < 64;
            red += opaque && p[0] > 192 && p[1] < 64 && p[2] < 64;
        }
    }
    std::printf(" drawn %ld %ld\n", dark, red);
}

// Not getrusage: it would also count the test process we were forked from, up to our exec.
void reportPeakMemory()
{
    long kb = -1;
    char line[256];
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        while (std::fgets(line, sizeof line, status) && std::sscanf(line, "VmHWM: %ld kB", &kb) != 1) {
        }
        std::fclose(status);
    }
    std::fprintf(stderr, "peak memory: %ld KB\n", kb);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3 || (std::strcmp(argv[1], "read") != 0 && std::strcmp(argv[1], "reference") != 0))
        return 2;
    const QString path = QString::fromLocal8Bit(argv[2]);
    const auto picture = std::strcmp(argv[1], "read") == 0 ? Picture::readFile(path) : Picture::referenceFile(path);
    if (!picture)
        std::printf("none\n");
    for (const auto &rep : picture ? picture->representations() : Picture::Representations()) {
        if (rep->hasPixels()) {
            std::printf("bitmap %d %d %s\n", rep->pixelsWide(), rep->pixelsHigh(), rep->pixels() ? "pixels" : "no-pixels");
            continue;
        }
        // At their size in points, at most 1024 a side unless beyond the pixel limits, which the drawing must refuse.
        const double w = std::ceil(rep->size().width()), h = std::ceil(rep->size().height());
        const double most = w > 65535 || h > 65535 ? 1e9 : 1024.0;
        const int width = int(std::min(w, most)), height = int(std::min(h, most));
        std::printf("vector %d %d", width, height);
        if (const auto drawn = rep->render(width, height))
            describeDrawing(*drawn);
        else
            std::printf(" not-drawn\n");
    }
    reportPeakMemory();
    return 0;
}
