// quillpane-pdf-draw: draws the first page of a PDF in a process of its own, so that a
// hostile page (a path of a million points, say) costs this process's time and memory
// and not the program's. The program runs it with a private working folder and kills it
// past its time or output; the limits below bound it from inside as well.
//
//   quillpane-pdf-draw [--seconds N] [--memory-mb N] WIDTH HEIGHT [FILE | -]
//
// Writes WIDTH x HEIGHT pixels to standard output as 8-bit RGB, rows from the top, and
// nothing else. Exit status: 0 drawn, 2 wrong arguments, 3 out of memory, 4 the document
// cannot be read, 5 poppler could not draw it, 6 the pixels could not be written.

#include "PdfPageSize.h"
#include "Sanitizers.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>


namespace {

enum Status { Drawn = 0, Usage = 2, OutOfMemory = 3, Unreadable = 4, NotDrawn = 5, WriteFailed = 6 };

bool parseNumber(const char *text, long max, long &value)
{
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < 1 || parsed > max)
        return false;
    value = parsed;
    return true;
}

void limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit value{soft, hard};
    setrlimit(resource, &value);
}

bool writeAll(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t put = write(1, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

void quiet(const std::string &, void *) {}

int draw(int width, int height, const char *file)
{
    poppler::set_debug_error_function(quiet, nullptr);
    std::vector<char> bytes;
    std::unique_ptr<poppler::document> document;
    if (std::strcmp(file, "-") == 0) {
        char chunk[65536];
        for (ssize_t got; (got = read(0, chunk, sizeof chunk)) != 0;) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 || bytes.size() + size_t(got) > size_t(INT_MAX))
                return Unreadable;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        document.reset(poppler::document::load_from_raw_data(bytes.data(), int(bytes.size())));
    } else {
        document.reset(poppler::document::load_from_file(file));
    }
    if (!document || document->is_locked() || document->pages() < 1)
        return Unreadable;
    const std::unique_ptr<poppler::page> page(document->create_page(0));
    if (!page)
        return Unreadable;
    const auto points = pdfPageSize(*page);
    if (!pdfPageSizeUsable(points))
        return Unreadable;

    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing | poppler::page_renderer::text_antialiasing
                              | poppler::page_renderer::text_hinting);
    renderer.set_image_format(poppler::image::format_argb32);
    const double xres = 72.0 * width / points.first;
    const double yres = 72.0 * height / points.second;
    const poppler::image image = renderer.render_page(page.get(), xres, yres, 0, 0, width, height);
    if (!image.is_valid() || image.width() < width || image.height() < height || image.format() != poppler::image::format_argb32)
        return NotDrawn;
    // poppler paints on opaque white paper; its 32-bit pixels are B, G, R, A in memory.
    std::vector<char> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const unsigned char *>(image.const_data()) + size_t(y) * size_t(image.bytes_per_row());
        char *out = row.data();
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = char(in[2]);
            out[1] = char(in[1]);
            out[2] = char(in[0]);
        }
        if (!writeAll(row.data(), row.size()))
            return WriteFailed;
    }
    return Drawn;
}

} // namespace

int main(int argc, char **argv)
{
    long seconds = 0, memoryMb = 0;
    int at = 1;
    for (; at + 1 < argc && std::strncmp(argv[at], "--", 2) == 0; at += 2) {
        const bool known = std::strcmp(argv[at], "--seconds") == 0 ? parseNumber(argv[at + 1], 3600, seconds)
                           : std::strcmp(argv[at], "--memory-mb") == 0 ? parseNumber(argv[at + 1], 1 << 20, memoryMb)
                                                                       : false;
        if (!known)
            return Usage;
    }
    long width = 0, height = 0;
    if (argc - at < 2 || argc - at > 3 || !parseNumber(argv[at], 65535, width) || !parseNumber(argv[at + 1], 65535, height))
        return Usage;
    const char *file = argc - at == 3 ? argv[at + 2] : "-";

    // Before a byte of the document is read. No core files: a page stopped by its limits
    // is an expected end, not something to keep.
    limit(RLIMIT_CORE, 0, 0);
    limit(RLIMIT_FSIZE, 0, 0);
    if (seconds > 0)
        limit(RLIMIT_CPU, rlim_t(seconds), rlim_t(seconds + 1));
#ifndef QP_UNDER_ASAN
    // AddressSanitizer reserves terabytes of address space up front, so there the program
    // watches this process's resident memory instead.
    if (memoryMb > 0)
        limit(RLIMIT_AS, rlim_t(memoryMb) << 20, rlim_t(memoryMb) << 20);
#endif
    try {
        return draw(int(width), int(height), file);
    } catch (const std::bad_alloc &) {
        return OutOfMemory;
    }
}
