// Whatever bytes arrive (a file a stranger sent, the clipboard), reading them as a picture
// must not crash, hang or allocate without bound, and a picture it accepts must hand out
// pixels of the size it announced. EPS pages are parsed but not drawn here: drawing runs
// Ghostscript as a child process, which is slow per input and outside this process's
// sanitizers; the bad-input suite (tests/hardening) draws hostile EPS files instead.
// PDF pages are opened here and drawn by the helper quillpane-pdf-draw in a child
// process, as the program does: a fault in poppler's drawing ends that child and shows
// here as a page not drawn, so what this harness proves for PDF is the opening in
// process and the handling of whatever the helper hands back.
// WebP, HEIC and AVIF come through the same entry into libwebp and libheif (with libde265
// and dav1d); those libraries are Debian's, built without coverage, so the fuzzer steers by
// what our side of the calls sees, while a fault inside them still ends the run.

#include "EncodedImageReps.h"
#include "Picture.h"

#include <cstdint>
#include <cstdlib>

namespace {

volatile uint8_t sink;

// Reads every byte, so a buffer shorter than its announced shape trips AddressSanitizer.
void touch(const PixelBuffer &pixels)
{
    if (pixels.stride < size_t(pixels.width) * pixels.bytesPerPixel())
        std::abort();
    uint8_t sum = 0;
    for (int y = 0; y < pixels.height; ++y) {
        const uint8_t *row = pixels.row(y);
        for (size_t i = 0; i < pixels.stride; ++i)
            sum = uint8_t(sum + row[i]);
    }
    sink = sum;
}

void expectSize(const std::shared_ptr<const PixelBuffer> &pixels, int width, int height)
{
    if (!pixels)
        return;
    if (pixels->width != width || pixels->height != height)
        std::abort();
    touch(*pixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto picture = Picture::fromData(bytes);
    if (!picture)
        return 0;
    if (picture->representations().empty())
        std::abort();
    for (const auto &rep : picture->representations()) {
        if (dynamic_cast<const EpsImageRep *>(rep.get()))
            continue;
        if (!rep->hasPixels()) {
            expectSize(rep->render(19, 13), 19, 13);
            expectSize(rep->render(1, 1), 1, 1);
            continue;
        }
        const int width = rep->pixelsWide();
        const int height = rep->pixelsHigh();
        const auto full = rep->pixels();
        // Read "now": a representation that came back must have decoded.
        if (!full)
            std::abort();
        expectSize(full, width, height);
        for (int shift = 1; shift <= 3; ++shift) {
            const auto reduced = rep->pixelsReduced(shift);
            if (!reduced)
                continue;
            const int divisor = 1 << shift;
            // Codecs without cheap reduction hand back the full pixels.
            if (reduced->width == width && reduced->height == height)
                touch(*reduced);
            else
                expectSize(reduced, (width + divisor - 1) / divisor, (height + divisor - 1) / divisor);
        }
    }
    return 0;
}
