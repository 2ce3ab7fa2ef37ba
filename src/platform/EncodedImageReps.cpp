#include "EncodedImageReps.h"

#include "Log.h"
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
#include <fcntl.h>
#include <poll.h>
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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
        qpLog(QStringLiteral("Unable to read picture %1: %2").arg(source_->description(), error));
        return nullptr;
    }
    decoded_[size_t(shift)] = pixels;
    return pixels;
}

// ---------------------------------------------------------------- PDF

namespace {

// poppler's documents and its global state are not made for concurrent use. Recursive:
// a rep that fails to load is destroyed while the lock is held.
std::recursive_mutex &popplerMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void popplerQuiet(const std::string &, void *) {}

} // namespace

std::shared_ptr<PdfImageRep> PdfImageRep::load(const QByteArray &bytes, QString &error)
{
    std::lock_guard lock(popplerMutex());
    static const bool quiet = [] {
        poppler::set_debug_error_function(popplerQuiet, nullptr);
        return true;
    }();
    (void)quiet;
    if (bytes.size() > std::numeric_limits<int>::max()) {
        error = QStringLiteral("the file is too large");
        return nullptr;
    }
    std::shared_ptr<PdfImageRep> rep(new PdfImageRep);
    rep->bytes_ = bytes;
    rep->document_.reset(poppler::document::load_from_raw_data(rep->bytes_.constData(), int(rep->bytes_.size())));
    if (!rep->document_) {
        error = QStringLiteral("the PDF document cannot be read");
        return nullptr;
    }
    if (rep->document_->is_locked()) {
        error = QStringLiteral("the PDF document is protected by a password");
        return nullptr;
    }
    if (rep->document_->pages() < 1 || !(rep->page_.reset(rep->document_->create_page(0)), rep->page_)) {
        error = QStringLiteral("the PDF document has no pages");
        return nullptr;
    }
    const poppler::rectf box = rep->page_->page_rect(poppler::crop_box);
    QSizeF points(box.width(), box.height());
    const auto orientation = rep->page_->orientation();
    if (orientation == poppler::page::landscape || orientation == poppler::page::seascape)
        points.transpose();
    if (!(points.width() >= 1.0 && points.height() >= 1.0 && points.width() < 1e6 && points.height() < 1e6)) {
        error = QStringLiteral("the PDF page has no usable size");
        return nullptr;
    }
    rep->points_ = points;
    return rep;
}

PdfImageRep::~PdfImageRep()
{
    std::lock_guard lock(popplerMutex());
    page_.reset();
    document_.reset();
}

std::shared_ptr<const PixelBuffer> PdfImageRep::render(int width, int height) const
{
    QString error = PictureLimits::check(width, height);
    if (!error.isEmpty()) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels: %3").arg(width).arg(height).arg(error));
        return nullptr;
    }
    std::lock_guard lock(popplerMutex());
    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing | poppler::page_renderer::text_antialiasing
                              | poppler::page_renderer::text_hinting);
    const double xres = 72.0 * width / points_.width();
    const double yres = 72.0 * height / points_.height();
    const poppler::image image = renderer.render_page(page_.get(), xres, yres, 0, 0, width, height);
    if (!image.is_valid() || image.width() < width || image.height() < height
        || (image.format() != poppler::image::format_argb32 && image.format() != poppler::image::format_rgb24)) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels").arg(width).arg(height));
        return nullptr;
    }
    auto pixels = PixelBuffer::create(width, height, 3, 8);
    if (!pixels) {
        qpLog(QStringLiteral("Unable to draw a PDF page at %1 x %2 pixels: not enough memory").arg(width).arg(height));
        return nullptr;
    }
    // poppler paints on white paper; its 32-bit pixels are B, G, R, A in memory.
    const int step = image.format() == poppler::image::format_argb32 ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const uint8_t *>(image.const_data()) + size_t(y) * size_t(image.bytes_per_row());
        uint8_t *out = pixels->row(y);
        for (int x = 0; x < width; ++x, in += step, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
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

struct ChildResult {
    QByteArray output;
    QString error;
};

// Our environment with the temporary folder pointed at `folder`.
std::vector<std::string> environmentWithTemporaryFolder(const QString &folder)
{
    std::vector<std::string> environment;
    for (char **variable = environ; *variable; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("TEMP=", 0) != 0 && entry.rfind("TMP=", 0) != 0)
            environment.push_back(entry);
    }
    const std::string path = folder.toStdString();
    environment.push_back("TMPDIR=" + path);
    environment.push_back("TEMP=" + path);
    environment.push_back("TMP=" + path);
    return environment;
}

// Runs `arguments` (arguments[0] is looked up on PATH) with standard input from
// /dev/null, collecting standard output up to `maxOutput` bytes and killing the child
// when it runs past `seconds`.
ChildResult runChild(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                     int seconds, qint64 maxOutput)
{
    ChildResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.error = QStringLiteral("cannot make a pipe (%1)").arg(QString::fromUtf8(std::strerror(errno)));
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (const std::string &variable : environment)
        envp.push_back(const_cast<char *>(variable.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        result.error = QStringLiteral("cannot start %1 (%2)").arg(QString::fromStdString(arguments[0]), QString::fromUtf8(std::strerror(spawned)));
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool killed = false;
    char chunk[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            result.error = QStringLiteral("Ghostscript took longer than %1 seconds and was stopped").arg(seconds);
            killed = true;
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int ready = poll(&fd, 1, int(std::min<long long>(left, 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t got = read(pipeFds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.output.append(chunk, got);
        if (result.output.size() > maxOutput) {
            result.error = QStringLiteral("Ghostscript wrote more than expected and was stopped");
            killed = true;
            break;
        }
    }
    close(pipeFds[0]);
    if (killed)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        result.error = QStringLiteral("Ghostscript could not draw it (exit status %1)").arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    if (!result.error.isEmpty())
        result.output.clear();
    return result;
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
    const ChildResult child = runChild(arguments, environmentWithTemporaryFolder(folder.path()), postScriptSeconds.load(), maxOutput);
    if (!child.error.isEmpty()) {
        qpLog(QStringLiteral("Unable to draw PostScript %1: %2").arg(where, child.error));
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
