#pragma once
// libtiff over bytes in memory: reading a picture's bytes and writing an encoded file,
// with libtiff's messages collected instead of printed.

#include <QByteArray>
#include <QString>
#include <tiffio.h>

class TiffStream {
public:
    // Reading: `bytes` must outlive the stream. Writing: pass nothing and take `written()`.
    explicit TiffStream(const QByteArray *bytes = nullptr);
    ~TiffStream();
    TiffStream(const TiffStream &) = delete;
    TiffStream &operator=(const TiffStream &) = delete;

    // Opens for reading ("r") or writing ("w"); null with `error()` set on failure.
    // `maxAllocation` bounds any single allocation libtiff makes.
    TIFF *open(const char *mode, tmsize_t maxAllocation);
    // Closes the handle (flushing a written file).
    void close();
    const QByteArray &written() const { return out_; }
    // libtiff's first error message, if any.
    QString error() const { return error_; }

private:
    static tmsize_t readProc(thandle_t, void *, tmsize_t);
    static tmsize_t writeProc(thandle_t, void *, tmsize_t);
    static toff_t seekProc(thandle_t, toff_t, int);
    static int closeProc(thandle_t);
    static toff_t sizeProc(thandle_t);
    static int mapProc(thandle_t, void **, toff_t *);
    static void unmapProc(thandle_t, void *, toff_t);
    static int errorProc(TIFF *, void *, const char *, const char *, va_list);
    static int warningProc(TIFF *, void *, const char *, const char *, va_list);

    const QByteArray *in_;
    QByteArray out_;
    qint64 position_ = 0;
    TIFF *tiff_ = nullptr;
    QString error_;
};
