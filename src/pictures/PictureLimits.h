#pragma once
// The largest pictures the program reads. A 100-megapixel camera (11,648 x 8,736) passes
// with room to spare; a decompression bomb (a small file claiming, say, 100,000 x 100,000
// pixels) is refused before any pixel memory is allocated. Decoded, the largest picture
// takes at most 1.6 GB (16-bit RGBA); an 8-bit RGB one at most 600 MB.
#include <QString>
#include <QtGlobal>

namespace PictureLimits {
inline constexpr int maxSide = 65535;
inline constexpr qint64 maxPixels = 200'000'000; // over all pages of a picture
inline constexpr qint64 maxFileBytes = qint64(2) << 30;
inline constexpr int maxPages = 256;
// The seconds Ghostscript may spend drawing one EPS page.
inline constexpr int postScriptSeconds = 20;
// The processor seconds the PDF drawing helper may spend drawing one page; it is given
// half as long again by the clock, for a machine busy with other work.
inline constexpr int pdfPageSeconds = 20;

// Empty when width x height pixels is within the limits; otherwise the reason.
inline QString check(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return QStringLiteral("it has no pixels (%1 x %2)").arg(width).arg(height);
    if (width > maxSide || height > maxSide)
        return QStringLiteral("%1 x %2 pixels is larger than the limit of %3 pixels a side").arg(width).arg(height).arg(maxSide);
    if (width * height > maxPixels)
        return QStringLiteral("%1 x %2 pixels is more than the limit of %3 megapixels")
            .arg(width).arg(height).arg(maxPixels / 1'000'000);
    return {};
}
} // namespace PictureLimits
