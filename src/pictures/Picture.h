#pragma once
// A picture: a list of representations and a nominal size in points. Bitmap
// representations have a pixel size and pixels (decoded at once or on first use);
// vector representations have no pixel size and are drawn at whatever size is asked.
// A picture does not change once made, so threads may share it.

#include "PixelBuffer.h"

#include <QByteArray>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QImage;

class ImageRep {
public:
    virtual ~ImageRep() = default;

    // Pixel dimensions after orientation; 0 x 0 for a representation without pixels.
    virtual int pixelsWide() const = 0;
    virtual int pixelsHigh() const = 0;
    // Size in points (1/72 inch), from the file's resolution (72 dpi when it has none).
    virtual QSizeF size() const = 0;
    bool hasPixels() const { return pixelsWide() > 0 && pixelsHigh() > 0; }

    // Bitmaps: the decoded pixels (decoded on the first call when read by reference),
    // or null with a log line when decoding fails. Vectors: null.
    virtual std::shared_ptr<const PixelBuffer> pixels() const = 0;
    // The pixels shrunk by about 2^shift (shift 0-3) where the codec can do that for
    // less work than a full decode (JPEG's DCT scaling); otherwise the full pixels.
    // The result's own size tells the factor actually applied.
    virtual std::shared_ptr<const PixelBuffer> pixelsReduced(int shift) const;
    // Vectors: drawn to exactly width x height pixels. Bitmaps: their pixels.
    virtual std::shared_ptr<const PixelBuffer> render(int width, int height) const;
    // Once the pixels could not be had, why (worded to follow the file's name); empty
    // before that, and for representations that do not say.
    virtual QString failure() const { return {}; }
    // Drops pixels kept from earlier decodes or drawings; the next request makes them again.
    virtual void releaseKeptPixels() const {}
};

// A bitmap representation over pixels already in memory.
class MemoryImageRep : public ImageRep {
public:
    explicit MemoryImageRep(std::shared_ptr<const PixelBuffer> pixels, QSizeF points = QSizeF());
    int pixelsWide() const override;
    int pixelsHigh() const override;
    QSizeF size() const override;
    std::shared_ptr<const PixelBuffer> pixels() const override { return pixels_; }

private:
    std::shared_ptr<const PixelBuffer> pixels_;
    QSizeF points_;
};

class Picture {
public:
    using Representations = std::vector<std::shared_ptr<const ImageRep>>;

    // filePath: the file the picture was read from; empty for one made in memory.
    Picture(Representations representations, QSizeF size, QString filePath = QString());

    // Reads and decodes the file now; null (with a log line) for anything that is not a
    // readable picture, a folder included. `why`, when given, then says why, worded to
    // follow the file's name ("it is a folder", "the file is empty").
    static std::shared_ptr<const Picture> readFile(const QString &path, QString *why = nullptr);
    // Checks that the file can be a picture and reads its sizes; pixels are decoded on
    // first use. Null only when the file cannot be a picture.
    static std::shared_ptr<const Picture> referenceFile(const QString &path, QString *why = nullptr);
    // The same, with the reason for a null result given in `error` instead of logged.
    static std::shared_ptr<const Picture> referenceFile(const QString &path, QString &error);
    // Decodes encoded bytes of any supported type (clipboard data, tests, fuzzing).
    static std::shared_ptr<const Picture> fromData(const QByteArray &bytes);
    // One bitmap representation over the given pixels; points default to the pixel size.
    static std::shared_ptr<const Picture> fromPixels(std::shared_ptr<const PixelBuffer> pixels, QSizeF points = QSizeF());
    static std::shared_ptr<const Picture> fromQImage(const QImage &image);

    const Representations &representations() const { return representations_; }
    QSizeF size() const { return size_; }
    // The file the picture was read from; empty for a picture from the clipboard or memory.
    const QString &filePath() const { return filePath_; }
    // The last representation whose pixel width and height are both above zero; 0 x 0 when none.
    QSize sourcePixelSize() const;
    // The largest pixel width and, separately, the largest pixel height over all representations.
    QSize largestPixelSize() const;

    // Derived data another layer keeps with the picture (such as pre-shrunk levels for a
    // preview that renders the same picture again and again); released with the picture.
    std::shared_ptr<void> cachedData(const std::string &key) const;
    void setCachedData(const std::string &key, std::shared_ptr<void> data) const;
    // Drops every decoded, drawn or derived pixel the picture keeps (a batch is done with a
    // picture long before the window lets go of it).
    void releaseKeptPixels() const;

private:
    Representations representations_;
    QSizeF size_;
    QString filePath_;
    mutable std::mutex cacheMutex_;
    mutable std::map<std::string, std::shared_ptr<void>> cache_;
};
