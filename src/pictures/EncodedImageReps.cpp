#include "EncodedImageReps.h"

#include "ChildProcess.h"
#include "Log.h"
#include "PdfPageSize.h"
#include "PictureLimits.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>
#include <unistd.h>

// ---------------------------------------------------------------- sources

std::shared_ptr<PictureSource> PictureSource::fromBytes(QByteArray bytes)
{
    auto source = std::make_shared<PictureSource>();
    source->bytes_ = std::move(bytes);
    return source;
}

std::shared_ptr<PictureSource> PictureSource::fromFile(const QString &path, const QByteArray &bytes, bool keep)
{
    auto source = std::make_shared<PictureSource>();
    source->path_ = path;
    source->keep_ = keep;
    source->bytes_ = bytes;
    return source;
}

QByteArray PictureSource::bytes(QString &error) const
{
    std::lock_guard lock(mutex_);
    if (!bytes_.isEmpty() || path_.isEmpty())
        return bytes_;
    QByteArray read;
    if (!readPictureFile(path_, read, error))
        return {};
    if (keep_)
        bytes_ = read;
    return read;
}

QString PictureSource::description() const
{
    return path_.isEmpty() ? QStringLiteral("data") : path_;
}

void PictureSource::release() const
{
    std::lock_guard lock(mutex_);
    if (!path_.isEmpty() && !keep_)
        bytes_.clear();
}

bool readPictureFile(const QString &path, QByteArray &bytes, QString &error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        error = QStringLiteral("there is no such file");
        return false;
    }
    if (info.isDir()) {
        error = QStringLiteral("it is a folder");
        return false;
    }
    // A FIFO or device would block or never end.
    if (!info.isFile()) {
        error = QStringLiteral("it is not a regular file");
        return false;
    }
    if (info.size() == 0) {
        error = QStringLiteral("the file is empty");
        return false;
    }
    if (info.size() > PictureLimits::maxFileBytes) {
        error = QStringLiteral("the file is larger than %1 GB").arg(PictureLimits::maxFileBytes >> 30);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("it cannot be opened (%1)").arg(file.errorString());
        return false;
    }
    bytes = file.readAll();
    if (bytes.isEmpty()) {
        error = file.error() != QFileDevice::NoError ? QStringLiteral("it cannot be read (%1)").arg(file.errorString())
                                                     : QStringLiteral("the file is empty");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- bitmaps

EncodedBitmapRep::EncodedBitmapRep(std::shared_ptr<const PictureSource> source, PictureFormat format, int page, BitmapPageInfo info)
    : source_(std::move(source))
    , format_(format)
    , page_(page)
    , info_(info)
{
}

std::shared_ptr<const PixelBuffer> EncodedBitmapRep::pixels() const
{
    std::lock_guard lock(mutex_);
    return decodeLocked(0);
}

std::shared_ptr<const PixelBuffer> EncodedBitmapRep::pixelsReduced(int shift) const
{
    std::lock_guard lock(mutex_);
    // Only JPEG shrinks for less work than a full decode.
    if (format_ != PictureFormat::JPEG)
        shift = 0;
    return decodeLocked(std::clamp(shift, 0, 3));
}

QString EncodedBitmapRep::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void EncodedBitmapRep::releaseKeptPixels() const
{
    std::lock_guard lock(mutex_);
    decoded_ = {};
}

std::shared_ptr<const PixelBuffer> EncodedBitmapRep::decodeLocked(int shift) const
{
    if (decoded_[size_t(shift)])
        return decoded_[size_t(shift)];
    if (failed_)
        return nullptr;
    QString error;
    const QByteArray bytes = source_->bytes(error);
    std::shared_ptr<PixelBuffer> pixels;
    if (!bytes.isEmpty())
        pixels = decodeBitmap(bytes, format_, page_, shift, error);
    // libjpeg rounds a reduced side up.
    const int divisor = 1 << shift;
    const int wantWidth = (info_.width + divisor - 1) / divisor;
    const int wantHeight = (info_.height + divisor - 1) / divisor;
    if (pixels && (pixels->width != wantWidth || pixels->height != wantHeight)) {
        error = QStringLiteral("the file changed since it was opened");
        pixels.reset();
    }
    if (!pixels) {
        failed_ = true;
        failure_ = error;
        qpLog(QStringLiteral("Unable to read picture %1: %2").arg(source_->description(), error));
        return nullptr;
    }
    decoded_[size_t(shift)] = pixels;
    return pixels;
}

// ---------------------------------------------------------------- PDF

void PdfImageRep::releaseKeptPixels() const
{
    std::lock_guard lock(cacheMutex_);
    cached_.reset();
}

namespace {

// poppler's documents and its global state are not made for concurrent use.
std::mutex &popplerMutex()
{
    static std::mutex mutex;
    return mutex;
}

void popplerQuiet(const std::string &, void *) {}

std::atomic<int> pdfSeconds{PictureLimits::pdfPageSeconds};
constexpr int defaultMemoryMarginMb = 512;
// The largest drawing kept for the next request of its size: 12 MB.
constexpr qint64 cachedPixels = 4'000'000;
std::atomic<int> pdfMemoryMarginMb{defaultMemoryMarginMb};

std::mutex helperMutex;
QString helperOverride;

const char helperName[] = "quillpane-pdf-draw";

// Our program's folder, from the kernel rather than from argv[0].
QString ownFolder()
{
    char target[4096];
    const ssize_t length = readlink("/proc/self/exe", target, sizeof target - 1);
    if (length <= 0)
        return {};
    return QFileInfo(QFile::decodeName(QByteArray(target, length))).absolutePath();
}

} // namespace

std::shared_ptr<PdfImageRep> PdfImageRep::load(const QByteArray &bytes, const QString &where, QString &error)
{
    if (bytes.size() > std::numeric_limits<int>::max()) {
        error = QStringLiteral("the file is too large");
        return nullptr;
    }
    std::pair<double, double> points;
    {
        std::lock_guard lock(popplerMutex());
        static const bool quiet = [] {
            poppler::set_debug_error_function(popplerQuiet, nullptr);
            return true;
        }();
        (void)quiet;
        // Only the page tree and the first page's boxes are read here; the content, whose
        // cost has no bound, is the helper's to draw.
        const std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(bytes.constData(), int(bytes.size())));
        if (!document) {
            error = QStringLiteral("the PDF document cannot be read");
            return nullptr;
        }
        if (document->is_locked()) {
            error = QStringLiteral("the PDF document is protected by a password");
            return nullptr;
        }
        const std::unique_ptr<poppler::page> page(document->pages() < 1 ? nullptr : document->create_page(0));
        if (!page) {
            error = QStringLiteral("the PDF document has no pages");
            return nullptr;
        }
        points = pdfPageSize(*page);
    }
    if (!pdfPageSizeUsable(points)) {
        error = QStringLiteral("the PDF page has no usable size");
        return nullptr;
    }
    std::shared_ptr<PdfImageRep> rep(new PdfImageRep);
    rep->bytes_ = bytes;
    rep->where_ = where;
    rep->points_ = QSizeF(points.first, points.second);
    return rep;
}

QString PdfImageRep::helperPath()
{
    {
        std::lock_guard lock(helperMutex);
        if (!helperOverride.isEmpty())
            return helperOverride;
    }
    static const QString found = [] {
        const QString beside = ownFolder() + QLatin1Char('/') + QLatin1String(helperName);
        if (QFileInfo(beside).isExecutable())
            return beside;
        return QStringLiteral(QP_PDF_DRAW_HELPER);
    }();
    return found;
}

void PdfImageRep::setHelperPath(const QString &path)
{
    std::lock_guard lock(helperMutex);
    helperOverride = path;
}

void PdfImageRep::setTimeLimit(int seconds)
{
    pdfSeconds = std::max(1, seconds);
}

void PdfImageRep::setMemoryMarginMb(int megabytes)
{
    pdfMemoryMarginMb = megabytes > 0 ? megabytes : defaultMemoryMarginMb;
}

qint64 PdfImageRep::memoryLimitMb(int width, int height)
{
    // poppler's page bitmap and its copy, 4 bytes a pixel each, plus room for the
    // document, fonts, images and paths of an ordinary page.
    return pdfMemoryMarginMb.load() + (qint64(width) * height * 8 + (1 << 20) - 1) / (1 << 20);
}

std::shared_ptr<const PixelBuffer> PdfImageRep::render(int width, int height) const
{
    QString error = PictureLimits::check(width, height);
    if (!error.isEmpty()) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels: %3").arg(width).arg(height).arg(error));
        return nullptr;
    }
    {
        std::lock_guard lock(cacheMutex_);
        if (cached_ && cached_->width == width && cached_->height == height)
            return cached_;
    }
    auto fail = [&](const QString &reason) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels (page 1 of %3): %4").arg(width).arg(height).arg(where_, reason));
        return nullptr;
    };
    const QString helper = helperPath();
    if (!QFileInfo(helper).isExecutable())
        return fail(QStringLiteral("the drawing program %1 is missing").arg(helper));
    // The helper works in a private, empty folder holding only its input.
    QTemporaryDir folder;
    QFile input(folder.filePath(QStringLiteral("page.pdf")));
    if (!folder.isValid() || !input.open(QIODevice::WriteOnly) || input.write(bytes_) != bytes_.size() || !input.flush())
        return fail(QStringLiteral("cannot write a temporary file"));
    input.close();
    const int seconds = pdfSeconds.load();
    const int wallSeconds = seconds + seconds / 2;
    const qint64 memoryMb = memoryLimitMb(width, height);
    const qint64 expected = qint64(width) * height * 3;
    ChildLimits limits;
    limits.seconds = wallSeconds;
    limits.maxOutput = expected;
    limits.maxResidentBytes = memoryMb << 20;
    limits.maxErrorBytes = 4096;
    const std::vector<std::string> arguments = {
        QFile::encodeName(helper).toStdString(), "--seconds", std::to_string(seconds), "--memory-mb", std::to_string(memoryMb),
        std::to_string(width), std::to_string(height), "page.pdf"};
    ChildOutcome child = runChild(arguments, environmentWithTemporaryFolder(folder.path()), folder.path(), limits);
    const QString tooSlow = QStringLiteral("it takes longer than %1 seconds to draw (time limit)").arg(wallSeconds);
    const QString tooMuchWork = QStringLiteral("it needs more than %1 seconds of processor time to draw (time limit)").arg(seconds);
    const QString tooLarge = QStringLiteral("it needs more than %1 MB of memory to draw (memory limit)").arg(memoryMb);
    using End = ChildOutcome::End;
    switch (child.end) {
    case End::NotStarted:
        return fail(child.startError);
    case End::TimedOut:
        return fail(tooSlow);
    case End::TooMuchMemory:
        return fail(tooLarge);
    case End::TooMuchOutput:
        return fail(QStringLiteral("the drawing program wrote more than %1 bytes").arg(expected));
    case End::Signalled:
        // The processor-time limit ends it with SIGXCPU, then SIGKILL; poppler aborts
        // when an allocation fails.
        if (child.signal == SIGXCPU || child.signal == SIGKILL)
            return fail(tooMuchWork);
        if (child.errors.contains("Out of memory") || child.errors.contains("bad_alloc"))
            return fail(tooLarge);
        return fail(QStringLiteral("the drawing program stopped on signal %1").arg(child.signal));
    case End::Exited:
        break;
    }
    switch (child.exitCode) {
    case 0:
        break;
    case 3:
        return fail(tooLarge);
    case 4:
        return fail(QStringLiteral("the drawing program cannot read the document"));
    case 5:
        return fail(QStringLiteral("poppler cannot draw it"));
    default:
        return fail(QStringLiteral("the drawing program failed (exit status %1)").arg(child.exitCode));
    }
    if (child.output.size() != expected)
        return fail(QStringLiteral("the drawing program wrote %1 bytes instead of %2").arg(child.output.size()).arg(expected));
    auto pixels = PixelBuffer::create(width, height, 3, 8);
    if (!pixels) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels: not enough memory").arg(width).arg(height));
        return nullptr;
    }
    const size_t rowBytes = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels->row(y), child.output.constData() + size_t(y) * rowBytes, rowBytes);
    if (qint64(width) * height <= cachedPixels) {
        std::lock_guard lock(cacheMutex_);
        cached_ = pixels;
    }
    return pixels;
}

// ---------------------------------------------------------------- EPS

namespace {

// The PostScript part of an EPS file: the whole file, or the section a DOS EPS binary
// header points at.
QByteArray postScriptPart(const QByteArray &bytes)
{
    if (bytes.size() >= 30 && std::memcmp(bytes.constData(), "\xC5\xD0\xD3\xC6", 4) == 0) {
        auto le32 = [&](int at) {
            const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData()) + at;
            return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        };
        const quint64 offset = le32(4), length = le32(8);
        if (offset + length > quint64(bytes.size()) || length == 0)
            return {};
        return bytes.mid(qsizetype(offset), qsizetype(length));
    }
    return bytes;
}

// Copies `from` into exactly width x height pixels, repeating the last row or column
// where Ghostscript's rounding came out one short.
std::shared_ptr<PixelBuffer> fitExactly(const PixelBuffer &from, int width, int height)
{
    auto out = PixelBuffer::create(width, height, from.channels, from.bitsPerChannel);
    if (!out)
        return nullptr;
    const size_t bpp = from.bytesPerPixel();
    for (int y = 0; y < height; ++y) {
        const uint8_t *in = from.row(std::min(y, from.height - 1));
        uint8_t *row = out->row(y);
        const int common = std::min(width, from.width);
        std::memcpy(row, in, size_t(common) * bpp);
        for (int x = common; x < width; ++x)
            std::memcpy(row + size_t(x) * bpp, in + size_t(common - 1) * bpp, bpp);
    }
    return out;
}

} // namespace

namespace {
std::atomic<int> postScriptSeconds{PictureLimits::postScriptSeconds};
} // namespace

void EpsImageRep::setTimeLimit(int seconds)
{
    postScriptSeconds = std::max(1, seconds);
}

bool EpsImageRep::boundingBox(const QByteArray &bytes, QRectF &box)
{
    const QByteArray ps = postScriptPart(bytes);
    if (!ps.startsWith("%!PS"))
        return false;
    const QByteArray key = "%%BoundingBox:";
    for (qsizetype at = ps.indexOf(key); at >= 0; at = ps.indexOf(key, at + key.size())) {
        qsizetype end = at + key.size();
        while (end < ps.size() && ps[end] != '\n' && ps[end] != '\r' && end - at < 200)
            ++end;
        const QList<QByteArray> fields = ps.mid(at + key.size(), end - at - key.size()).simplified().split(' ');
        if (fields.size() != 4)
            continue; // "(atend)": the real one follows later
        double v[4];
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i)
            v[i] = fields[i].toDouble(&ok);
        if (!ok)
            continue;
        box = QRectF(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
        return box.width() >= 1.0 && box.height() >= 1.0 && box.width() < 1e6 && box.height() < 1e6;
    }
    return false;
}

std::shared_ptr<EpsImageRep> EpsImageRep::load(std::shared_ptr<const PictureSource> source, const QByteArray &bytes, QString &error)
{
    QRectF box;
    if (!boundingBox(bytes, box)) {
        error = QStringLiteral("the PostScript file has no usable bounding box");
        return nullptr;
    }
    auto rep = std::make_shared<EpsImageRep>();
    rep->source_ = std::move(source);
    rep->box_ = box;
    return rep;
}

std::shared_ptr<const PixelBuffer> EpsImageRep::render(int width, int height) const
{
    const QString where = source_->description();
    QString error = PictureLimits::check(width, height);
    if (!error.isEmpty()) {
        qpLog(QStringLiteral("Unable to draw PostScript %1 at %2 x %3 pixels: %4").arg(where).arg(width).arg(height).arg(error));
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    const QByteArray bytes = source_->bytes(error);
    if (bytes.isEmpty()) {
        qpLog(QStringLiteral("Unable to read picture %1: %2").arg(where, error));
        return nullptr;
    }
    // Safe mode still lets PostScript read and write in Ghostscript's temporary folder,
    // which would be the shared /tmp: it gets a private, empty one, holding only its input.
    QTemporaryDir folder;
    QFile input(folder.filePath(QStringLiteral("input.eps")));
    if (!folder.isValid() || !input.open(QIODevice::WriteOnly) || input.write(bytes) != bytes.size() || !input.flush()) {
        qpLog(QStringLiteral("Unable to draw PostScript %1: cannot write a temporary file").arg(where));
        return nullptr;
    }
    input.close();
    const double xres = 72.0 * width / box_.width();
    const double yres = 72.0 * height / box_.height();
    char resolution[64];
    std::snprintf(resolution, sizeof resolution, "-r%.4fx%.4f", xres, yres);
    const std::vector<std::string> arguments = {
        "gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNOPROMPT", "-dEPSCrop", "-sDEVICE=pngalpha",
        "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4", resolution, "-sOutputFile=%stdout", "-f",
        input.fileName().toStdString()};
    const qint64 maxOutput = qint64(width + 2) * (height + 2) * 4 * 2 + (1 << 20);
    const int seconds = postScriptSeconds.load();
    ChildLimits limits;
    limits.seconds = seconds;
    limits.maxOutput = maxOutput;
    const ChildOutcome child = runChild(arguments, environmentWithTemporaryFolder(folder.path()), {}, limits);
    QString failure;
    switch (child.end) {
    case ChildOutcome::End::NotStarted:
        failure = child.startError;
        break;
    case ChildOutcome::End::TimedOut:
        failure = QStringLiteral("Ghostscript took longer than %1 seconds and was stopped").arg(seconds);
        break;
    case ChildOutcome::End::TooMuchOutput:
    case ChildOutcome::End::TooMuchMemory:
        failure = QStringLiteral("Ghostscript wrote more than expected and was stopped");
        break;
    case ChildOutcome::End::Signalled:
    case ChildOutcome::End::Exited:
        if (!child.succeeded())
            failure = QStringLiteral("Ghostscript could not draw it (exit status %1)").arg(child.exitCode);
        break;
    }
    if (!failure.isEmpty()) {
        qpLog(QStringLiteral("Unable to draw PostScript %1: %2").arg(where, failure));
        return nullptr;
    }
    const auto drawn = decodeBitmap(child.output, sniffPictureFormat(child.output), 0, 0, error);
    if (!drawn || std::abs(drawn->width - width) > 2 || std::abs(drawn->height - height) > 2) {
        qpLog(QStringLiteral("Unable to draw PostScript %1: %2").arg(where, error.isEmpty() ? QStringLiteral("Ghostscript drew the wrong size") : error));
        return nullptr;
    }
    if (drawn->width == width && drawn->height == height)
        return drawn;
    return fitExactly(*drawn, width, height);
}
