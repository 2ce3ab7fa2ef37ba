// Hostile and broken files, each read by the program's own entry (Picture::readFile or
// referenceFile) in a child process: every one must end in a log line and no picture (or,
// for a page too large to draw, no drawing), without a crash, within a bounded time and
// a bounded peak memory.

#include "Picture.h"
#include "Sanitizers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Peak resident memory of the reading process; the reader alone takes about 20 MB
// (more under AddressSanitizer, whose shadow memory grows with every allocation).
#ifdef QP_UNDER_ASAN
constexpr long peakLimitKb = 512 * 1024;
#else
constexpr long peakLimitKb = 256 * 1024;
// Address space: enough for the largest buffer a bad header can make us reserve, so a
// decoder that tries more fails inside the reader, not the machine.
constexpr rlim_t addressLimit = rlim_t(1536) << 20;
#endif
constexpr int defaultSeconds = 15;
// A helper drawing a page of at most 1024 x 1024 pixels is stopped past 512 MB plus 8
// bytes a pixel; what it reaches before it is seen is the rest.
constexpr long helperLimitKb = (512 + 8 + 64) * 1024;

// Every hostile input handed to the reader, and the largest peak memory among them,
// for the figures printed at the end.
int inputsRead = 0;
long largestPeakKb = 0;
long largestHelperPeakKb = 0;

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    int signal = 0;
    double seconds = 0;
    long peakKb = 0;       // the reader's and its helpers', as the kernel tells the parent
    long readerPeakKb = 0; // the reader's own, as it reported it; else peakKb
    long helperPeakKb = 0; // the largest of the helpers it ran (Ghostscript, the PDF drawer),
                           // the reader's own at their start included
    QByteArray out;
    QByteArray err;

    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
};

std::ostream &operator<<(std::ostream &os, const Outcome &o)
{
    return os << "exit " << o.exitCode << " signal " << o.signal << " in " << o.seconds << " s, peak " << o.peakKb / 1024
              << " MB (reader " << o.readerPeakKb / 1024 << " MB, helpers " << o.helperPeakKb / 1024
              << " MB)\nout: " << o.out.constData() << "\nerr: " << o.err.constData();
}

// The reader, copied into memory: an unprivileged user may be unable to enter the
// folders the build lies in (a checkout in root's home, mode 0700), or to run the file
// itself, but runs a copy reached by its descriptor, which has no path. -1 when no copy
// could be made.
int readerForAnyone()
{
    static const int copy = [] {
        QFile reader(QStringLiteral(QP_READ_PICTURE));
        const int memory = memfd_create("qp_read_picture", MFD_CLOEXEC);
        if (memory < 0 || !reader.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray bytes = reader.readAll();
        for (qsizetype written = 0; written < bytes.size();) {
            const ssize_t n = write(memory, bytes.constData() + written, size_t(bytes.size() - written));
            if (n < 0 && errno != EINTR)
                return -1;
            written += std::max<ssize_t>(n, 0);
        }
        return memory;
    }();
    return copy;
}

// Runs the reader on `path` (as the unprivileged user `asUser` when >= 0), killing it
// after `seconds`.
Outcome runReader(const char *mode, const QString &path, int seconds = defaultSeconds, int asUser = -1)
{
    ++inputsRead;
    Outcome outcome;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return outcome;
    const QByteArray file = QFile::encodeName(path);
    const int copy = asUser >= 0 ? readerForAnyone() : -1;
    char *const arguments[] = {const_cast<char *>(QP_READ_PICTURE), const_cast<char *>(mode),
                               const_cast<char *>(file.constData()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
#ifndef QP_UNDER_ASAN
        const rlimit limit{addressLimit, addressLimit};
        setrlimit(RLIMIT_AS, &limit);
#endif
        if (asUser >= 0) {
            if (copy < 0 || setgroups(0, nullptr) != 0 || setgid(gid_t(asUser)) != 0 || setuid(uid_t(asUser)) != 0)
                _exit(126);
            fexecve(copy, arguments, environ);
        } else {
            execv(QP_READ_PICTURE, arguments);
        }
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    const auto deadline = start + std::chrono::seconds(seconds);
    std::array<pollfd, 2> fds{{{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}}};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (poll(fds.data(), fds.size(), int(std::min<long long>(left, 500))) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char chunk[4096];
            const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                (i == 0 ? outcome.out : outcome.err).append(chunk, got);
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.peakKb = usage.ru_maxrss;
    outcome.readerPeakKb = outcome.peakKb;
    const qsizetype report = outcome.err.lastIndexOf("peak memory: reader ");
    if (report >= 0) {
        const QList<QByteArray> words = outcome.err.mid(report).split('\n').first().split(' ');
        if (words.size() == 8 && words[3].toLong() > 0) {
            outcome.readerPeakKb = words[3].toLong();
            outcome.helperPeakKb = words[6].toLong();
        }
    }
    largestPeakKb = std::max(largestPeakKb, outcome.readerPeakKb);
    largestHelperPeakKb = std::max(largestHelperPeakKb, outcome.helperPeakKb);
    outcome.finished = !killed && WIFEXITED(status);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}

// The reader ended by itself, cleanly, in time and within the memory bound.
void expectBounded(const Outcome &o, int seconds = defaultSeconds)
{
    EXPECT_TRUE(o.finished) << o;
    EXPECT_EQ(o.exitCode, 0) << o;
    EXPECT_LT(o.seconds, seconds) << o;
    EXPECT_LT(o.readerPeakKb, peakLimitKb) << o;
    EXPECT_LT(o.helperPeakKb, helperLimitKb) << o;
}

// Bounded, no picture, and a log line naming the file.
void expectRefused(const Outcome &o, const QString &path, int seconds = defaultSeconds)
{
    expectBounded(o, seconds);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("none")}) << qPrintable(path) << "\n" << o;
    EXPECT_TRUE(QString::fromUtf8(o.err).contains(QStringLiteral("Unable to read picture %1: ").arg(path))) << o;
}

// Bounded, and whatever came back has no pixels or drawing, with a log line.
void expectNothingShown(const Outcome &o, const QString &path, int seconds = defaultSeconds)
{
    expectBounded(o, seconds);
    for (const QString &line : o.lines())
        EXPECT_TRUE(line == "none" || line.endsWith(" no-pixels") || line.endsWith(" not-drawn")) << qPrintable(path) << "\n" << o;
    EXPECT_TRUE(o.err.contains("Unable to")) << qPrintable(path) << "\n" << o;
}

QByteArray seed(const QString &name)
{
    QFile file(QStringLiteral(QP_PICTURE_SEEDS "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "missing seed " << qPrintable(name);
    return file.readAll();
}

QStringList seedNames()
{
    return QDir(QStringLiteral(QP_PICTURE_SEEDS)).entryList(QDir::Files, QDir::Name);
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(QByteArray &out, quint32 v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}

void putLittle(QByteArray &out, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk;
    putBig32(chunk, quint32(data.size()));
    const QByteArray body = QByteArray(type) + data;
    chunk += body;
    putBig32(chunk, crc32(body));
    return chunk;
}

// A PNG header for width x height RGB with a few bytes of compressed rows after it.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray ihdr;
    putBig32(ihdr, width);
    putBig32(ihdr, height);
    ihdr += QByteArray("\x08\x02\x00\x00\x00", 5);
    // zlib stream of a few zero bytes: the first rows, then nothing.
    const QByteArray idat = QByteArray::fromHex("789c63600000000100");
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) + pngChunk("IEND", {});
}

// The JPEG seed `name` with the size in its start-of-frame marker replaced.
QByteArray jpegClaiming(const QString &name, quint16 width, quint16 height)
{
    QByteArray bytes = seed(name);
    for (qsizetype at = 2; at + 9 < bytes.size();) {
        if (quint8(bytes[at]) != 0xFF)
            break;
        const quint8 marker = quint8(bytes[at + 1]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            bytes[at + 5] = char(height >> 8);
            bytes[at + 6] = char(height & 0xFF);
            bytes[at + 7] = char(width >> 8);
            bytes[at + 8] = char(width & 0xFF);
            return bytes;
        }
        at += 2 + (quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3]));
    }
    ADD_FAILURE() << "no start-of-frame marker in " << qPrintable(name);
    return bytes;
}

struct TiffEntry {
    quint16 tag;
    quint16 type; // 3 SHORT, 4 LONG
    quint32 count;
    quint32 value; // the value, or the offset of the values when they do not fit
};

// A little-endian TIFF with one directory of `entries` at offset 8, then `tail`.
QByteArray tiffWith(const std::vector<TiffEntry> &entries, const QByteArray &tail = {})
{
    QByteArray out("II*\0", 4);
    putLittle(out, 8, 4);
    putLittle(out, entries.size(), 2);
    for (const TiffEntry &e : entries) {
        putLittle(out, e.tag, 2);
        putLittle(out, e.type, 2);
        putLittle(out, e.count, 4);
        putLittle(out, e.value, 4);
    }
    putLittle(out, 0, 4);
    return out + tail;
}

// A one-page PDF with correct cross-references.
QByteArray pdfWith(const QByteArray &mediaBox, const QByteArray &content)
{
    QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] /Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray eps(const QByteArray &box, const QByteArray &body)
{
    return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: " + box + "\n%%EndComments\n" + body + "\nshowpage\n%%EOF\n";
}

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
        file.write(bytes);
        return path;
    }

    QTemporaryDir folder;
};

// The seeds are the valid files the broken ones are made from: each must read, or the
// cases below would prove nothing.
TEST_F(BadInputTest, EverySeedReadsAsAPicture)
{
    const QStringList names = seedNames();
    ASSERT_GE(names.size(), 30);
    for (const QString &name : names) {
        const Outcome o = runReader("read", QStringLiteral(QP_PICTURE_SEEDS "/") + name);
        expectBounded(o);
        ASSERT_FALSE(o.lines().isEmpty()) << qPrintable(name);
        for (const QString &line : o.lines())
            EXPECT_TRUE(line.endsWith(" pixels") || line.contains(" drawn ")) << qPrintable(name) << "\n" << o;
    }
    inputsRead -= int(names.size()); // valid files: not counted as bad inputs
}

TEST_F(BadInputTest, ZeroByteFilesOfEveryType)
{
    for (const char *extension : {"jpg", "jpeg", "png", "gif", "tif", "tiff", "pdf", "ai", "eps", "ps", "webp", "avif", "heic", "heif"}) {
        const QString path = write(QStringLiteral("empty.") + extension, {});
        const Outcome o = runReader("read", path);
        expectRefused(o, path);
        EXPECT_TRUE(o.err.contains("the file is empty")) << o;
    }
}

// Every seed cut at a quarter, half and three quarters.
TEST_F(BadInputTest, TruncatedFilesOfEveryType)
{
    for (const QString &name : seedNames()) {
        const QByteArray whole = seed(name);
        const bool bitmap = !name.endsWith(".eps") && !name.endsWith(".pdf");
        for (const double part : {0.25, 0.5, 0.75}) {
            const QString path = write(QStringLiteral("cut-%1-%2").arg(int(part * 100)).arg(name), whole.left(qsizetype(whole.size() * part)));
            const Outcome o = runReader("read", path);
            if (name.endsWith(".eps")) {
                // PostScript is a program: cut short, Ghostscript draws what came before the cut.
                expectBounded(o);
            } else if ((name == "two-pages.tif" || name == "partial-frame.gif") && o.lines() == QStringList{"bitmap 16 12 pixels"}) {
                // The first page (or frame, the only one shown) lies whole before the cut.
                expectBounded(o);
            } else {
                expectNothingShown(o, path);
            }
            // By reference the headers may pass; the pixels must not.
            if (bitmap && part == 0.5 && name != "two-pages.tif")
                expectNothingShown(runReader("reference", path), path);
        }
    }
}

// The content decides the type: a picture under another type's extension reads as what
// it is, and something that is no picture under a picture's extension is refused.
TEST_F(BadInputTest, WrongExtensions)
{
    const std::pair<const char *, const char *> renamed[] = {
        {"rgb.png", "photo.jpg"}, {"baseline.jpg", "photo.png"}, {"lzw.tif", "photo.gif"},
        {"plain.gif", "photo.tiff"}, {"drawing.pdf", "drawing.eps"}, {"rgba.png", "photo"},
        {"lossy.webp", "photo.jpg"}, {"plain.heic", "photo.png"}, {"plain.avif", "photo.heic"}, {"rgb.png", "photo.avif"}};
    for (const auto &[from, to] : renamed) {
        const Outcome o = runReader("read", write(QString::fromLatin1(to), seed(QString::fromLatin1(from))));
        expectBounded(o);
        EXPECT_EQ(o.lines().size(), 1) << o;
        EXPECT_TRUE(o.out.contains("pixels") || o.out.contains(" drawn ")) << from << " as " << to << "\n" << o;
    }

    QFile self(QStringLiteral(QP_READ_PICTURE));
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    const std::pair<const char *, QByteArray> impostors[] = {
        {"notes.jpg", "These are notes, not a picture.\n"},
        {"page.png", "<!DOCTYPE html><html><body><img src=photo.png></body></html>\n"},
        {"archive.tif", QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10) + QByteArray(200, 'x')},
        {"program.gif", self.read(4096)},
        {"noise.pdf", QByteArray(3000, '\x9c')},
        {"almost.eps", "%!PS-Adobe-3.0\nno bounding box here\nshowpage\n"},
        {"almost.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(64, '\0')},
        {"almost.png", QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(64, '\0')},
        {"almost.gif", "GIF89a" + QByteArray(64, '\0')},
        {"almost.tif", QByteArray("II*\0\x08\0\0\0", 8) + QByteArray(64, '\0')},
        {"almost.webp", QByteArray("RIFF\x40\0\0\0WEBPVP8X", 16) + QByteArray(64, '\0')},
        {"almost.heic", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) + QByteArray(64, '\0')},
        {"video.avif", QByteArray("\0\0\0\x18" "ftypisom\0\0\2\0isomiso2", 24) + QByteArray(64, '\0')},
    };
    for (const auto &[name, bytes] : impostors) {
        const QString path = write(QString::fromLatin1(name), bytes);
        expectRefused(runReader("read", path), path);
    }
}

TEST_F(BadInputTest, PngHeadersClaimingHugePicturesWithATinyBody)
{
    // 60000 x 60000 is over the pixel limit: refused from the header, before any allocation.
    const QString huge = write("huge.png", pngHeaderOnly(60000, 60000));
    const Outcome o = runReader("read", huge);
    expectRefused(o, huge);
    EXPECT_TRUE(o.err.contains("megapixels")) << o;
    // Within the limits, but the rows are missing: refused when they run out.
    for (const auto &[w, h] : {std::pair{16000u, 12000u}, std::pair{65535u, 3000u}, std::pair{3000u, 65535u}}) {
        const QString path = write(QStringLiteral("tall-%1x%2.png").arg(w).arg(h), pngHeaderOnly(w, h));
        expectRefused(runReader("read", path), path);
    }
    const QString over = write("over.png", pngHeaderOnly(70000, 10));
    expectRefused(runReader("read", over), over);
}

// A seed with the size fields after every `marker` (a box or chunk's name) rewritten.
QByteArray withSizesAt(const QString &name, const QByteArray &marker, int skip, const QByteArray &sizes)
{
    QByteArray bytes = seed(name);
    qsizetype at = bytes.indexOf(marker);
    if (at < 0)
        ADD_FAILURE() << "no " << marker.constData() << " in " << qPrintable(name);
    for (; at >= 0; at = bytes.indexOf(marker, at + 1))
        bytes.replace(at + marker.size() + skip, sizes.size(), sizes);
    return bytes;
}

QByteArray little24(quint32 a, quint32 b)
{
    QByteArray out;
    putLittle(out, a, 3);
    putLittle(out, b, 3);
    return out;
}

QByteArray big32(quint32 a, quint32 b)
{
    QByteArray out;
    putBig32(out, a);
    putBig32(out, b);
    return out;
}

TEST_F(BadInputTest, WebpAndHeifHeadersClaimingHugePictures)
{
    // VP8's frame header: a start code, then 14-bit width and height (little-endian).
    auto vp8 = [](quint16 w, quint16 h) { QByteArray out("\x9d\x01\x2a", 3); putLittle(out, w, 2); putLittle(out, h, 2); return out; };
    const std::tuple<const char *, QByteArray, const char *> cases[] = {
        // The extended header's canvas (24 bits a side, less one): over the limit around a
        // still or an animation's frame, and within it around a small still.
        {"canvas-over.webp", withSizesAt("exif-icc.webp", "VP8X", 8, little24(0xFFFFFF, 0xFFFFFF)), "not a complete WebP file"},
        {"canvas-animation.webp", withSizesAt("animated.webp", "VP8X", 8, little24(19999, 19999)), "200 megapixels"},
        {"canvas-still.webp", withSizesAt("exif-icc.webp", "VP8X", 8, little24(14999, 12999)), "not a complete WebP file"},
        // The bitstream's own: 16383 x 12000 within the limit, 16383 x 16383 over it.
        {"vp8-large.webp", withSizesAt("lossy.webp", QByteArray("\x9d\x01\x2a", 3), -3, vp8(16383, 12000)), "the file ends before"},
        {"vp8-over.webp", withSizesAt("lossy.webp", QByteArray("\x9d\x01\x2a", 3), -3, vp8(16383, 16383)), "200 megapixels"},
        // HEIF's image spatial extents (after a version and flags).
        {"ispe-over.heic", withSizesAt("plain.heic", "ispe", 4, big32(60000, 60000)), "200 megapixels"},
        {"ispe-large.heic", withSizesAt("plain.heic", "ispe", 4, big32(15000, 13000)), "not the size its container gives"},
        // A grid's output size (16 bits a side after version, flags, rows and columns) far
        // beyond the container's extents: refused before libheif fills a gigabyte.
        {"grid-large.heic", withSizesAt("plain.heic", "idat", 4, QByteArray("\x3e\x80\x2e\xe0", 4)), "exceeds the maximum image size"},
        {"ispe-large.avif", withSizesAt("plain.avif", "ispe", 4, big32(15000, 13000)), "not the size its container gives"},
        {"ispe-side.avif", withSizesAt("alpha-10bit.avif", "ispe", 4, big32(70000, 10)), "libheif cannot read it"},
        {"ispe-zero.avif", withSizesAt("plain.avif", "ispe", 4, big32(0, 0)), "no pixels"},
    };
    for (const auto &[name, bytes, reason] : cases) {
        const QString path = write(QString::fromLatin1(name), bytes);
        const Outcome o = runReader("read", path);
        expectRefused(o, path);
        EXPECT_TRUE(o.err.contains(reason)) << name << "\n" << o;
        expectNothingShown(runReader("reference", path), path);
    }
}

TEST_F(BadInputTest, JpegBombs)
{
    const std::tuple<const char *, quint16, quint16> bombs[] = {
        {"baseline.jpg", 65500, 65500}, {"baseline.jpg", 15000, 13000}, {"progressive.jpg", 15000, 13000},
        {"progressive.jpg", 65500, 3000}, {"cmyk.jpg", 14000, 14000}, {"grey.jpg", 65535, 3000},
        {"exif-orientation-6.jpg", 15000, 13000}, {"baseline.jpg", 0, 0}};
    for (const auto &[name, w, h] : bombs) {
        const QString path = write(QStringLiteral("bomb-%1x%2-%3").arg(w).arg(h).arg(QString::fromLatin1(name)), jpegClaiming(QString::fromLatin1(name), w, h));
        expectRefused(runReader("read", path), path);
        expectNothingShown(runReader("reference", path), path);
    }
}

TEST_F(BadInputTest, GifScreenClaimingHugePicture)
{
    QByteArray gif = seed("plain.gif");
    gif[6] = '\xFF', gif[7] = '\xFF', gif[8] = '\xFF', gif[9] = '\xFF'; // 65535 x 65535 screen
    const QString path = write("huge.gif", gif);
    expectRefused(runReader("read", path), path);

    // 8480 x 11297, within the limits, around a frame whose data ends: refused before the
    // screen's 380 MB are touched.
    QByteArray cut = seed("interlaced.gif");
    cut[6] = '\x20', cut[7] = '\x21', cut[8] = '\x21', cut[9] = '\x2C';
    cut.chop(cut.size() / 3);
    const QString screen = write("large-screen-cut.gif", cut);
    const Outcome o = runReader("read", screen);
    expectRefused(o, screen);
    EXPECT_TRUE(o.err.contains("the file ends before the picture does")) << o;
}

TEST_F(BadInputTest, TiffsWithAbsurdStrips)
{
    const QByteArray pixels(64, '\x80');
    auto grey = [&](quint32 width, quint32 height, quint32 rowsPerStrip, quint32 strips, quint32 offsetsAt, quint32 countsAt) {
        return std::vector<TiffEntry>{
            {256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
            {273, 4, strips, offsetsAt}, {277, 3, 1, 1}, {278, 4, 1, rowsPerStrip}, {279, 4, strips, countsAt}};
    };
    const std::pair<const char *, QByteArray> cases[] = {
        // A billion strips whose tables lie far past the end of the file.
        {"billion-strips.tif", tiffWith(grey(16, 12, 1, 1'000'000'000, 0x10000000, 0x20000000), pixels)},
        // As many strips as the height allows, each a row, tables past the end.
        {"row-strips.tif", tiffWith(grey(60000, 3000, 1, 3000, 0x7FFFFFF0, 0x7FFFFFF0), pixels)},
        // Strip tables of the wrong length, pointing into the directory itself.
        {"wrong-count.tif", tiffWith(grey(16, 12, 1, 0xFFFFFFFF, 8, 8), pixels)},
        // One strip declared to hold gigabytes.
        {"giant-strip.tif", tiffWith(grey(16, 12, 12, 1, 200, 0xFFFFFFF0), pixels)},
        // A huge page whose single strip is a few bytes.
        {"huge-page.tif", tiffWith(grey(14000, 14000, 14000, 1, 200, 64), pixels)},
        // Over the limits.
        {"over-limit.tif", tiffWith(grey(100000, 100000, 1, 1, 200, 64), pixels)},
        // Tiles far larger than the page, in a tile table past the end.
        {"giant-tiles.tif", tiffWith({{256, 4, 1, 16}, {257, 4, 1, 12}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                                      {277, 3, 1, 1}, {322, 4, 1, 0x40000000}, {323, 4, 1, 0x40000000}, {324, 4, 1, 200}, {325, 4, 1, 64}},
                                     pixels)},
    };
    for (const auto &[name, bytes] : cases) {
        const QString path = write(QString::fromLatin1(name), bytes);
        expectRefused(runReader("read", path), path);
    }
}

// A directory that points back at itself, and 1000 pages claimed by a chain of them.
TEST_F(BadInputTest, TiffDirectoryLoops)
{
    QByteArray loop = seed("strips.tif");
    // The first directory's "next" offset is the last 4 bytes of that directory.
    const quint32 first = quint8(loop[4]) | quint8(loop[5]) << 8 | quint8(loop[6]) << 16 | quint32(quint8(loop[7])) << 24;
    const quint16 entries = quint16(quint8(loop[first]) | quint8(loop[first + 1]) << 8);
    const quint32 next = first + 2 + entries * 12;
    for (int i = 0; i < 4; ++i)
        loop[next + i] = char((first >> (8 * i)) & 0xFF);
    const QString path = write("loop.tif", loop);
    const Outcome o = runReader("read", path);
    expectBounded(o);
    // libtiff stops at a directory it has seen: one page, read as it is.
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("bitmap 16 12 pixels")}) << o;
}

TEST_F(BadInputTest, PdfPages)
{
    const QByteArray square = "0 0 1 rg 0 0 10 10 re f";
    // A page a million points a side is refused when it is opened.
    const QString million = write("million.pdf", pdfWith("0 0 1000000 1000000", square));
    expectRefused(runReader("read", million), million);
    // 70000 points a side opens, but cannot be drawn at its size in points.
    const QString large = write("large.pdf", pdfWith("0 0 70000 70000", square));
    const Outcome o = runReader("read", large);
    expectBounded(o);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("vector 70000 70000 not-drawn")}) << o;
    EXPECT_TRUE(o.err.contains("Unable to draw a PDF page at 70000 x 70000 pixels")) << o;
    // Degenerate and nonsensical boxes.
    for (const QByteArray &box : {QByteArray("0 0 0 0"), QByteArray("0 0 -5 10"), QByteArray("0 0 1e300 1e300"), QByteArray("a b c d")}) {
        const QString path = write("box.pdf", pdfWith(box, square));
        const Outcome b = runReader("read", path);
        expectBounded(b);
        for (const QString &line : b.lines())
            EXPECT_TRUE(line == "none" || line.contains(" drawn ")) << box.constData() << "\n" << b;
    }
    // poppler's cost grows with the points of a path, about 50 us and 2.5 KB each: 20,000
    // draw in a second and some 50 MB; a million would take 46 s and 2.4 GB, so the helper
    // drawing them is stopped by its time or memory limit, and said so.
    for (const int points : {20'000, 1'000'000}) {
        QByteArray path = "0 0 m\n";
        path.reserve(points * 12);
        for (int i = 0; i < points; ++i)
            path += QByteArray::number(i % 500) + ' ' + QByteArray::number((i * 7) % 500) + " l\n";
        path += "S";
        const QString heavy = write(QStringLiteral("%1-points.pdf").arg(points), pdfWith("0 0 500 500", path));
        // 30 s by the clock at most for the drawing, and the rest for reading the file.
        const Outcome h = runReader("read", heavy, 45);
        expectBounded(h, 45);
        if (points == 20'000) {
            EXPECT_TRUE(h.out.startsWith("vector 500 500 drawn")) << h;
            continue;
        }
        EXPECT_EQ(h.lines(), QStringList{QStringLiteral("vector 500 500 not-drawn")}) << h;
        const QString why = QString::fromUtf8(h.err);
        EXPECT_TRUE(why.contains(QStringLiteral("Unable to draw a PDF page at 500 x 500 pixels (page 1 of %1): ").arg(heavy))) << h;
        EXPECT_TRUE(why.contains("(time limit)") || why.contains("(memory limit)")) << h;
        std::printf("a million-point PDF page: stopped after %.1f s; peak memory of the reader %ld MB, of the helper %ld MB\n%s",
                    h.seconds, h.readerPeakKb / 1024, h.helperPeakKb / 1024, h.err.constData());
    }
    // Encrypted with an unknown password, and a page tree that points at itself.
    QByteArray looped = pdfWith("0 0 10 10", square);
    looped.replace("/Kids [3 0 R]", "/Kids [2 0 R]");
    const QString cyclic = write("cyclic.pdf", looped);
    expectNothingShown(runReader("read", cyclic), cyclic);
}

TEST_F(BadInputTest, PostScriptThatReachesOutOfItsFile)
{
    const QString secret = write("secret.txt", "TOPSECRET\n");
    const QString written = folder.filePath("written.txt");
    const QString piped = folder.filePath("piped.txt");
    const QByteArray secretPs = QFile::encodeName(secret);
    // Black over the whole page when the secret could be read.
    const QByteArray readSecret = "(" + secretPs + ") (r) file 100 string readstring pop (TOPSECRET) search "
                                  "{ pop pop pop 0 0 0 setrgbcolor 0 0 32 32 rectfill } { pop } ifelse";
    const QByteArray writeFile = "(" + QFile::encodeName(written) + ") (w) file dup (written) writestring closefile";
    const QByteArray runCommand = "(%pipe%touch " + QFile::encodeName(piped) + ") (w) file closefile";
    const QByteArray redCorner = "1 0 0 setrgbcolor 0 0 8 8 rectfill";

    // Unguarded, the refused operation stops the program: reading it now tries a small
    // drawing, so the picture is refused.
    for (const QByteArray &attempt : {readSecret, writeFile, runCommand}) {
        const QString path = write("reach.eps", eps("0 0 32 32", redCorner + "\n" + attempt));
        const Outcome o = runReader("read", path, 30);
        expectBounded(o, 30);
        EXPECT_EQ(o.lines(), QStringList{QStringLiteral("none")}) << o;
        EXPECT_TRUE(o.err.contains("Unable to draw PostScript")) << o;
    }
    EXPECT_FALSE(QFileInfo::exists(written));
    EXPECT_FALSE(QFileInfo::exists(piped));
    // Guarded by `stopped`, the drawing goes on without what was refused.
    const QString guarded = write("guarded.eps", eps("0 0 32 32", "{ " + readSecret + " } stopped pop\n{ " + writeFile
                                                                      + " } stopped pop\n{ " + runCommand + " } stopped pop\n" + redCorner));
    const Outcome o = runReader("read", guarded, 30);
    expectBounded(o, 30);
    ASSERT_EQ(o.lines().size(), 1) << o;
    const QStringList fields = o.lines().first().split(' ');
    ASSERT_EQ(fields.size(), 6) << o;
    EXPECT_EQ(fields[3], "drawn") << o;
    EXPECT_EQ(fields[4], "0") << "the secret reached the drawing\n" << o;
    EXPECT_GT(fields[5].toInt(), 32) << "the red corner is missing, so this proves nothing\n" << o;
    EXPECT_FALSE(QFileInfo::exists(written));
    EXPECT_FALSE(QFileInfo::exists(piped));
}

TEST_F(BadInputTest, PostScriptThatNeverEndsOrIsTooLarge)
{
    // Ghostscript is stopped after its time; the wait stays bounded.
    const QString endless = write("forever.eps", eps("0 0 32 32", "{ } loop"));
    const Outcome o = runReader("read", endless, 45);
    expectBounded(o, 45);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("none")}) << o;
    EXPECT_TRUE(o.err.contains("Ghostscript took longer than")) << o;

    const QString huge = write("huge.eps", eps("0 0 999999 999999", "0 0 1 setrgbcolor 0 0 10 10 rectfill"));
    const Outcome h = runReader("read", huge);
    expectBounded(h);
    EXPECT_EQ(h.lines(), QStringList{QStringLiteral("none")}) << h;
    EXPECT_TRUE(h.err.contains("Unable to draw PostScript")) << h;

    for (const QByteArray &box : {QByteArray("0 0 0 0"), QByteArray("(atend)"), QByteArray("0 0 1e9 1e9"), QByteArray("x y z w")}) {
        const QString path = write("box.eps", eps(box, "showpage"));
        expectRefused(runReader("read", path), path);
    }
}

TEST_F(BadInputTest, FilesThatAreNotFiles)
{
    const QString folderPath = folder.filePath("holiday.jpg");
    ASSERT_TRUE(QDir().mkpath(folderPath));
    const Outcome f = runReader("read", folderPath);
    expectRefused(f, folderPath);
    EXPECT_TRUE(f.err.contains("it is a folder")) << f;

    const QString loopA = folder.filePath("a.png");
    const QString loopB = folder.filePath("b.png");
    ASSERT_EQ(symlink(QFile::encodeName(loopB).constData(), QFile::encodeName(loopA).constData()), 0);
    ASSERT_EQ(symlink(QFile::encodeName(loopA).constData(), QFile::encodeName(loopB).constData()), 0);
    expectRefused(runReader("read", loopA), loopA);
    const QString self = folder.filePath("self.tif");
    ASSERT_EQ(symlink(QFile::encodeName(self).constData(), QFile::encodeName(self).constData()), 0);
    expectRefused(runReader("read", self), self);

    const QString dangling = folder.filePath("gone.gif");
    ASSERT_EQ(symlink(QFile::encodeName(folder.filePath("nowhere.gif")).constData(), QFile::encodeName(dangling).constData()), 0);
    expectRefused(runReader("read", dangling), dangling);

    // Opening a pipe for reading would wait for a writer forever.
    const QString fifo = folder.filePath("stream.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Outcome p = runReader("read", fifo);
    expectRefused(p, fifo);
    EXPECT_TRUE(p.err.contains("it is not a regular file")) << p;

    const QString device = QStringLiteral("/dev/zero");
    expectRefused(runReader("read", device), device);
}

// Root reads any file whatever its permissions, so as root the reader is run as the
// unprivileged user "nobody" (65534) for this case.
TEST_F(BadInputTest, UnreadablePermissions)
{
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                             | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString path = write("private.png", seed("rgb.png"));
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0), 0);
    const bool root = geteuid() == 0;
    const Outcome o = runReader("read", path, defaultSeconds, root ? 65534 : -1);
    expectRefused(o, path);
    EXPECT_TRUE(o.err.contains("it cannot be opened")) << o;
}

class CountPrinter : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::printf("bad-input suite: %d inputs read in child processes; largest peak of any reader %ld MB, of any helper %ld MB\n",
                    inputsRead, largestPeakKb / 1024, largestHelperPeakKb / 1024);
    }
};
const auto *const countPrinter = ::testing::AddGlobalTestEnvironment(new CountPrinter);

} // namespace
