#pragma once
// The representations a picture read from a file or from bytes holds: bitmaps decoded
// now or on first use (with JPEG's cheaper reduced decodes), PDF/AI pages drawn by
// a helper program, and EPS pages drawn by Ghostscript, both in child processes.

#include "ImageDecoders.h"
#include "Picture.h"

#include <QRectF>
#include <array>
#include <mutex>

// Where encoded bytes come from: memory, or a file read again when they are needed.
class PictureSource {
public:
    static std::shared_ptr<PictureSource> fromBytes(QByteArray bytes);
    // `bytes` are the file's contents as read now; `keep` says whether to hold on to them
    // (and to bytes read again later) rather than forget them on `release`.
    static std::shared_ptr<PictureSource> fromFile(const QString &path, const QByteArray &bytes, bool keep);

    // The bytes, reading the file again when they were not kept; empty with `error` set on failure.
    QByteArray bytes(QString &error) const;
    // The path for log lines, or "data" for bytes in memory.
    QString description() const;
    // Forgets the bytes of a file that is not kept (they can be read again).
    void release() const;

private:
    QString path_;
    mutable std::mutex mutex_;
    mutable QByteArray bytes_;
    bool keep_ = true;
};

// Reads a whole file for decoding, refusing folders, special files, empty and oversized
// files and files that cannot be opened; `error` says why.
bool readPictureFile(const QString &path, QByteArray &bytes, QString &error);

class EncodedBitmapRep : public ImageRep {
public:
    EncodedBitmapRep(std::shared_ptr<const PictureSource> source, PictureFormat format, int page, BitmapPageInfo info);

    int pixelsWide() const override { return info_.width; }
    int pixelsHigh() const override { return info_.height; }
    QSizeF size() const override { return info_.points; }
    std::shared_ptr<const PixelBuffer> pixels() const override;
    std::shared_ptr<const PixelBuffer> pixelsReduced(int shift) const override;

    QString failure() const override;
    void releaseKeptPixels() const override;

    // Decodes now (reading a file at once); false with a log line when that fails.
    bool decodeNow() const { return pixels() != nullptr; }
    PictureFormat format() const { return format_; }

private:
    std::shared_ptr<const PixelBuffer> decodeLocked(int shift) const;

    std::shared_ptr<const PictureSource> source_;
    PictureFormat format_;
    int page_;
    BitmapPageInfo info_;
    mutable std::mutex mutex_;
    mutable std::array<std::shared_ptr<const PixelBuffer>, 4> decoded_; // by shift
    mutable bool failed_ = false;
    mutable QString failure_;
};

// The first page of a PDF (or PDF-based AI) file, drawn on white at the size asked.
// Opening (the page tree and the page's boxes) happens here; drawing, whose cost a
// hostile page can make unbounded, happens in the helper program quillpane-pdf-draw,
// run with limits on its time, memory and output.
class PdfImageRep : public ImageRep {
public:
    // Null with `error` when the bytes hold no drawable page. `where` names the file in
    // log lines.
    static std::shared_ptr<PdfImageRep> load(const QByteArray &bytes, const QString &where, QString &error);

    int pixelsWide() const override { return 0; }
    int pixelsHigh() const override { return 0; }
    QSizeF size() const override { return points_; }
    std::shared_ptr<const PixelBuffer> pixels() const override { return nullptr; }
    std::shared_ptr<const PixelBuffer> render(int width, int height) const override;
    void releaseKeptPixels() const override;

    // The helper that draws pages: beside our own program, else where the build made it.
    static QString helperPath();
    // Tests point it elsewhere (an empty path restores the usual one), shorten its
    // processor time (the clock allows half as long again) and shrink its memory beyond
    // the pixels (512 MB unless set).
    static void setHelperPath(const QString &path);
    static void setTimeLimit(int seconds);
    static void setMemoryMarginMb(int megabytes);
    // The memory the helper may use to draw width x height pixels, in MB.
    static qint64 memoryLimitMb(int width, int height);

private:
    PdfImageRep() = default;
    QByteArray bytes_;
    QString where_;
    QSizeF points_;
    // The last drawing, when small: each conversion of the same page asks for the same
    // size again, and a drawing costs a process.
    mutable std::mutex cacheMutex_;
    mutable std::shared_ptr<const PixelBuffer> cached_;
};

// An EPS (or plain PostScript with a bounding box) page, drawn by Ghostscript with
// transparency kept. Ghostscript runs as a child process in its safe mode.
class EpsImageRep : public ImageRep {
public:
    // Null with `error` when the bytes are not PostScript with a usable bounding box.
    static std::shared_ptr<EpsImageRep> load(std::shared_ptr<const PictureSource> source, const QByteArray &bytes, QString &error);

    int pixelsWide() const override { return 0; }
    int pixelsHigh() const override { return 0; }
    QSizeF size() const override { return box_.size(); }
    std::shared_ptr<const PixelBuffer> pixels() const override { return nullptr; }
    std::shared_ptr<const PixelBuffer> render(int width, int height) const override;

    // The seconds Ghostscript may run for one drawing (tests shorten it).
    static void setTimeLimit(int seconds);
    // The %%BoundingBox of PostScript bytes (a DOS EPS binary header is looked through).
    static bool boundingBox(const QByteArray &bytes, QRectF &box);

private:
    std::shared_ptr<const PictureSource> source_;
    QRectF box_;
    mutable std::mutex mutex_;
};
