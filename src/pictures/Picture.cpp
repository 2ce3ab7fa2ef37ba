#include "Picture.h"

#include "EncodedImageReps.h"
#include "Log.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>

std::shared_ptr<const PixelBuffer> ImageRep::pixelsReduced(int) const
{
    return pixels();
}

std::shared_ptr<const PixelBuffer> ImageRep::render(int, int) const
{
    return pixels();
}

MemoryImageRep::MemoryImageRep(std::shared_ptr<const PixelBuffer> pixels, QSizeF points)
    : pixels_(std::move(pixels))
    , points_(points)
{
    if (points_.isEmpty() && pixels_)
        points_ = QSizeF(pixels_->width, pixels_->height);
}

int MemoryImageRep::pixelsWide() const { return pixels_ ? pixels_->width : 0; }
int MemoryImageRep::pixelsHigh() const { return pixels_ ? pixels_->height : 0; }
QSizeF MemoryImageRep::size() const { return points_; }

Picture::Picture(Representations representations, QSizeF size, QString filePath)
    : representations_(std::move(representations))
    , size_(size)
    , filePath_(std::move(filePath))
{
}

std::shared_ptr<const Picture> Picture::fromPixels(std::shared_ptr<const PixelBuffer> pixels, QSizeF points)
{
    if (!pixels)
        return nullptr;
    auto rep = std::make_shared<MemoryImageRep>(std::move(pixels), points);
    const QSizeF size = rep->size();
    return std::make_shared<Picture>(Representations{rep}, size);
}

std::shared_ptr<const Picture> Picture::fromQImage(const QImage &image)
{
    if (image.isNull())
        return nullptr;
    const bool alpha = image.hasAlphaChannel();
    const QImage converted = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    auto buffer = PixelBuffer::create(converted.width(), converted.height(), alpha ? 4 : 3, 8);
    if (!buffer)
        return nullptr;
    for (int y = 0; y < converted.height(); ++y)
        std::memcpy(buffer->row(y), converted.constScanLine(y), buffer->stride);
    // A QImage's resolution is Qt's screen default unless a file set it, so it says
    // nothing about the picture: points equal pixels.
    return fromPixels(std::move(buffer));
}

namespace {

enum class Reading { Now, ByReference };

// The representations of encoded bytes; null with the reason in `error`. `logged` tells
// whether that reason has had its log line already (a representation that fails logs its own).
std::shared_ptr<const Picture> pictureFromBytes(const QByteArray &bytes, const std::shared_ptr<PictureSource> &source,
                                                Reading reading, QString &error, bool &logged, const QString &filePath = QString())
{
    logged = false;
    const PictureFormat format = sniffPictureFormat(bytes);
    Picture::Representations reps;
    switch (format) {
    case PictureFormat::Unknown:
        error = QStringLiteral("it is not a picture of a type this program reads");
        return nullptr;
    case PictureFormat::PDF: {
        auto rep = PdfImageRep::load(bytes, source->description(), error);
        if (!rep)
            return nullptr;
        reps.push_back(rep);
        break;
    }
    case PictureFormat::EPS: {
        auto rep = EpsImageRep::load(source, bytes, error);
        if (!rep)
            return nullptr;
        // Reading now means knowing the program runs: Ghostscript draws it once, small.
        // A failure has logged its own line.
        if (reading == Reading::Now) {
            const double scale = 16.0 / std::max(rep->size().width(), rep->size().height());
            const int width = std::max(1, int(std::lround(rep->size().width() * scale)));
            const int height = std::max(1, int(std::lround(rep->size().height() * scale)));
            if (!rep->render(width, height))
                return nullptr;
        }
        reps.push_back(rep);
        break;
    }
    default: {
        std::vector<BitmapPageInfo> pages;
        if (!probeBitmap(bytes, format, pages, error))
            return nullptr;
        for (size_t i = 0; i < pages.size(); ++i) {
            auto rep = std::make_shared<EncodedBitmapRep>(source, format, int(i), pages[i]);
            // A rep that fails logs its own line; the picture is then no picture.
            if (reading == Reading::Now && !rep->decodeNow()) {
                error = rep->failure();
                logged = true;
                return nullptr;
            }
            reps.push_back(rep);
        }
        break;
    }
    }
    const QSizeF size = reps.front()->size();
    return std::make_shared<Picture>(std::move(reps), size, filePath);
}

// Null with the reason in `error`; `logged` as for pictureFromBytes.
std::shared_ptr<const Picture> pictureFromFile(const QString &path, Reading reading, QString &error, bool &logged)
{
    logged = false;
    QByteArray bytes;
    if (!readPictureFile(path, bytes, error))
        return nullptr;
    // JPEG's bytes stay for its reduced decodes (they are small beside its pixels), EPS's
    // for Ghostscript; other files are read again if their pixels are needed later.
    const PictureFormat format = sniffPictureFormat(bytes);
    const bool keep = format == PictureFormat::JPEG || format == PictureFormat::EPS;
    auto source = PictureSource::fromFile(path, bytes, keep);
    auto picture = pictureFromBytes(bytes, source, reading, error, logged, path);
    source->release();
    return picture;
}

std::shared_ptr<const Picture> loggedPictureFromFile(const QString &path, Reading reading, QString *why)
{
    QString error;
    bool logged = false;
    auto picture = pictureFromFile(path, reading, error, logged);
    if (!picture && !error.isEmpty() && !logged)
        qpLog(QStringLiteral("Unable to read picture %1: %2").arg(path, error));
    if (!picture && why)
        *why = error.isEmpty() ? QStringLiteral("its pixels cannot be read") : error;
    return picture;
}

} // namespace

std::shared_ptr<const Picture> Picture::readFile(const QString &path, QString *why)
{
    return loggedPictureFromFile(path, Reading::Now, why);
}

std::shared_ptr<const Picture> Picture::referenceFile(const QString &path, QString *why)
{
    return loggedPictureFromFile(path, Reading::ByReference, why);
}

std::shared_ptr<const Picture> Picture::referenceFile(const QString &path, QString &error)
{
    error.clear();
    bool logged = false;
    return pictureFromFile(path, Reading::ByReference, error, logged);
}

std::shared_ptr<const Picture> Picture::fromData(const QByteArray &bytes)
{
    QString error;
    if (bytes.isEmpty()) {
        qpLog(QStringLiteral("Unable to read picture data: there are no bytes"));
        return nullptr;
    }
    bool logged = false;
    auto picture = pictureFromBytes(bytes, PictureSource::fromBytes(bytes), Reading::Now, error, logged);
    if (!picture && !error.isEmpty() && !logged)
        qpLog(QStringLiteral("Unable to read picture data: %1").arg(error));
    return picture;
}

QSize Picture::sourcePixelSize() const
{
    for (auto it = representations_.rbegin(); it != representations_.rend(); ++it)
        if ((*it)->hasPixels())
            return QSize((*it)->pixelsWide(), (*it)->pixelsHigh());
    return QSize(0, 0);
}

QSize Picture::largestPixelSize() const
{
    int width = 0;
    int height = 0;
    for (const auto &rep : representations_) {
        width = std::max(width, rep->pixelsWide());
        height = std::max(height, rep->pixelsHigh());
    }
    return QSize(width, height);
}

std::shared_ptr<void> Picture::cachedData(const std::string &key) const
{
    std::lock_guard lock(cacheMutex_);
    auto it = cache_.find(key);
    return it == cache_.end() ? nullptr : it->second;
}

void Picture::setCachedData(const std::string &key, std::shared_ptr<void> data) const
{
    std::lock_guard lock(cacheMutex_);
    cache_[key] = std::move(data);
}

void Picture::releaseKeptPixels() const
{
    for (const auto &rep : representations_)
        rep->releaseKeptPixels();
    const std::lock_guard<std::mutex> lock(cacheMutex_);
    cache_.clear();
}
