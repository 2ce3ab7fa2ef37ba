// Hostile and broken files, each read by the program's own entry (Picture::readFile or referenceFile) in a child
// process: every one must end in a log line and no picture (or no drawing), without a crash, within a bounded time
// and peak memory.

#include "Sanitizers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <zlib.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reader alone takes about 20 MB (more under AddressSanitizer, whose shadow memory grows with each allocation).
#ifdef QP_UNDER_ASAN
constexpr long peakLimitKb = 512 * 1024;
#else
constexpr long peakLimitKb = 256 * 1024;
// Enough for the largest buffer a bad header can make us reserve: a decoder that tries more fails in the reader.
constexpr rlim_t addressLimit = rlim_t(1536) << 20;
#endif

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    long peakKb = 0; // as the reader reported it
    QByteArray out, err;
    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
};

std::ostream &operator<<(std::ostream &os, const Outcome &o)
{
    return os << "exit " << o.exitCode << ", " << o.peakKb / 1024 << " MB\nout: " << o.out.constData() << "\nerr: " << o.err.constData();
}

// Runs `reader` on `path` (as the user and group `asUser` when >= 0), killed after `seconds`.
Outcome runReader(const char *mode, const QString &path, int seconds = 15, int asUser = -1,
                  const QString &reader = QStringLiteral(QP_READ_PICTURE))
{
    QProcess process;
    process.setChildProcessModifier([asUser] { // only async-signal-safe calls until exec
#ifndef QP_UNDER_ASAN
        const rlimit limit{addressLimit, addressLimit};
        setrlimit(RLIMIT_AS, &limit);
#endif
        if (asUser >= 0 && (setgroups(0, nullptr) != 0 || setgid(gid_t(asUser)) != 0 || setuid(uid_t(asUser)) != 0))
            _exit(126);
    });
    process.start(reader, {QString::fromLatin1(mode), path});
    Outcome o;
    o.finished = process.waitForFinished(seconds * 1000) && process.exitStatus() == QProcess::NormalExit;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    o.exitCode = o.finished ? process.exitCode() : -1;
    o.out = process.readAllStandardOutput();
    o.err = process.readAllStandardError();
    const QList<QByteArray> words = o.err.mid(o.err.lastIndexOf("peak memory: ")).split('\n').first().split(' ');
    o.peakKb = words.size() == 4 && words[0] == "peak" ? words[2].toLong() : peakLimitKb; // no report: a failure
    return o;
}

// The reader ended by itself, cleanly, in its time and within the memory bound.
void expectBounded(const Outcome &o)
{
    EXPECT_TRUE(o.finished && o.exitCode == 0) << o;
    EXPECT_LT(o.peakKb, peakLimitKb) << o;
}

// Bounded, no picture, and a log line naming the file (and `reason`).
void expectRefused(const Outcome &o, const QString &path, const char *reason = "")
{
    expectBounded(o);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("none")}) << qPrintable(path) << "\n" << o;
    EXPECT_TRUE(o.err.contains(QStringLiteral("Unable to read picture %1: ").arg(path).toUtf8()) && o.err.contains(reason))
        << reason << "\n" << o;
}

// Bounded, and whatever came back has no pixels or drawing, with a log line.
void expectNothingShown(const Outcome &o, const QString &path)
{
    expectBounded(o);
    for (const QString &line : o.lines())
        EXPECT_TRUE(line == "none" || line.endsWith(" no-pixels") || line.endsWith(" not-drawn")) << qPrintable(path) << "\n" << o;
    EXPECT_TRUE(o.err.contains("Unable to")) << qPrintable(path) << "\n" << o;
}

QByteArray seed(const QString &name)
{
    QFile file(QStringLiteral(QP_PICTURE_SEEDS "/") + name);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (bytes.isEmpty())
        ADD_FAILURE() << "missing seed " << qPrintable(name);
    return bytes;
}

// `v` in `bytes` bytes, most significant first unless `little`.
QByteArray number(quint64 v, int bytes, bool little = false)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        out[little ? i : bytes - 1 - i] = char((v >> (8 * i)) & 0xFF);
    return out;
}
QByteArray little(quint64 v, int bytes) { return number(v, bytes, true); }

// A PNG header for width x height RGB, and a zlib stream of the first few rows only.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    const auto chunk = [](const QByteArray &body) {
        const auto crc = crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()));
        return number(quint32(body.size() - 4), 4) + body + number(crc, 4);
    };
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR" + number(width, 4) + number(height, 4) + QByteArray("\x08\x02\0\0\0", 5))
         + chunk("IDAT" + QByteArray::fromHex("789c63600000000100")) + chunk("IEND");
}

// A little-endian TIFF with one directory of {tag, type (3 SHORT, 4 LONG), count, value or offset} at 8, then pixels.
QByteArray tiffWith(const std::vector<std::array<quint32, 4>> &entries)
{
    QByteArray out = QByteArray("II*\0", 4) + little(8, 4) + little(entries.size(), 2);
    for (const auto &[tag, type, count, value] : entries)
        out += little(tag, 2) + little(type, 2) + little(count, 4) + little(value, 4);
    return out + little(0, 4) + QByteArray(64, '\x80');
}
QByteArray greyTiff(quint32 width, quint32 height, quint32 rowsPerStrip, quint32 strips, quint32 offsetsAt, quint32 countsAt)
{
    return tiffWith({{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                     {273, 4, strips, offsetsAt}, {277, 3, 1, 1}, {278, 4, 1, rowsPerStrip}, {279, 4, strips, countsAt}});
}

// A one-page PDF with correct cross-references.
QByteArray pdfWith(const QByteArray &mediaBox)
{
    const QByteArray content = "0 0 1 rg 0 0 10 10 re f";
    const QByteArray objects[] = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                  "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] /Contents 4 0 R >>",
                                  "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream"};
    QByteArray pdf = "%PDF-1.4\n", xref = "xref\n0 5\n0000000000 65535 f \n";
    for (int i = 0; i < 4; ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    return pdf + xref + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(pdf.size()) + "\n%%EOF\n";
}

QByteArray eps(const QByteArray &box, const QByteArray &body)
{
    return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: " + box + "\n%%EndComments\n" + body + "\nshowpage\n%%EOF\n";
}

// A seed with the bytes `skip` after every `marker` (a box or chunk's name, a JPEG marker) replaced by `sizes`.
QByteArray withSizesAt(const char *name, const QByteArray &marker, int skip, const QByteArray &sizes)
{
    QByteArray bytes = seed(QString::fromLatin1(name));
    EXPECT_TRUE(bytes.contains(marker)) << marker.constData() << " in " << name;
    for (qsizetype at = bytes.indexOf(marker); at >= 0; at = bytes.indexOf(marker, at + 1))
        bytes.replace(at + marker.size() + skip, sizes.size(), sizes);
    return bytes;
}

class BadInputTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()) << qPrintable(name);
        return file.fileName();
    }
    QTemporaryDir folder;
};

// The seeds the broken files are made from must read, or the cases would prove nothing; under another type's
// extension too, as the content decides the type. Cut at a quarter, half and three quarters, none may show a picture
// (by reference the headers may pass; the pixels must not).
TEST_F(BadInputTest, EverySeedReadsAndNoneCutShortDoes)
{
    const QStringList names = QDir(QStringLiteral(QP_PICTURE_SEEDS)).entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 30);
    for (const QString &name : names) {
        const QByteArray bytes = seed(name);
        const QString misnamed = write(name + (name.endsWith(".jpg") ? ".png" : ".jpg"), bytes);
        const Outcome whole = runReader("read", misnamed);
        expectBounded(whole);
        ASSERT_FALSE(whole.lines().isEmpty()) << qPrintable(name);
        for (const QString &line : whole.lines())
            EXPECT_TRUE(line.endsWith(" pixels") || line.contains(" drawn ")) << qPrintable(name) << "\n" << whole;
        for (const int percent : {25, 50, 75}) {
            const QString path = write(QStringLiteral("cut-%1-%2").arg(percent).arg(name), bytes.left(bytes.size() * percent / 100));
            const Outcome o = runReader("read", path);
            // PostScript is a program: Ghostscript draws what came before the cut. Of two pages or frames, the first
            // (the only one shown) may lie whole before it.
            if (name.endsWith(".eps") || ((name == "two-pages.tif" || name == "partial-frame.gif") && o.lines() == QStringList{"bitmap 16 12 pixels"}))
                expectBounded(o);
            else
                expectNothingShown(o, path);
            if (!name.endsWith(".eps") && !name.endsWith(".pdf") && percent == 50 && name != "two-pages.tif")
                expectNothingShown(runReader("reference", path), path);
        }
    }
}

// Files that are no picture, or claim far more than they hold, or more than the limits allow: refused when read,
// and (`byReference`) nothing shown when read by reference.
TEST_F(BadInputTest, HostileFilesAreRefused)
{
    struct Hostile {
        QString name;
        QByteArray bytes;
        const char *reason = ""; // a part of the log line
        bool byReference = false;
    };
    const QByteArray zeros(64, '\0');
    std::vector<Hostile> files = {
        {"almost.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4) + zeros},
        {"almost.png", QByteArray("\x89PNG\r\n\x1A\n", 8) + zeros},
        {"almost.gif", "GIF89a" + zeros},
        {"almost.tif", QByteArray("II*\0\x08\0\0\0", 8) + zeros},
        {"almost.webp", QByteArray("RIFF\x40\0\0\0WEBPVP8X", 16) + zeros},
        {"almost.heic", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) + zeros},
        {"video.avif", QByteArray("\0\0\0\x18" "ftypisom\0\0\2\0isomiso2", 24) + zeros},
    };
    // Over the pixel limit: refused from the header. Within it, the rows missing: refused when they run out.
    files.push_back({"huge.png", pngHeaderOnly(60000, 60000), "megapixels"});
    files.push_back({"rows-missing.png", pngHeaderOnly(16000, 12000)});
    const QByteArray vp8 = QByteArray("\x9d\x01\x2a", 3);
    const auto big32 = [](quint32 a, quint32 b) { return number(a, 4) + number(b, 4); };
    const Hostile headers[] = {
        // WebP's extended canvas and the VP8 bitstream's own 14-bit sides.
        {"canvas-animation.webp", withSizesAt("animated.webp", "VP8X", 8, little(19999, 3) + little(19999, 3)), "200 megapixels"},
        {"vp8-large.webp", withSizesAt("lossy.webp", vp8, -3, vp8 + little(16383, 2) + little(12000, 2)), "the file ends before"},
        {"vp8-over.webp", withSizesAt("lossy.webp", vp8, -3, vp8 + little(16383, 2) + little(16383, 2)), "200 megapixels"},
        // HEIF's image spatial extents (after a version and flags), and a grid's 16-bit output size beyond them.
        {"ispe-over.heic", withSizesAt("plain.heic", "ispe", 4, big32(60000, 60000)), "200 megapixels"},
        {"ispe-large.heic", withSizesAt("plain.heic", "ispe", 4, big32(15000, 13000)), "not the size its container gives"},
        {"grid-large.heic", withSizesAt("plain.heic", "idat", 4, QByteArray("\x3e\x80\x2e\xe0", 4)), "exceeds the maximum image size"},
        {"ispe-large.avif", withSizesAt("plain.avif", "ispe", 4, big32(15000, 13000)), "not the size its container gives"},
        {"ispe-side.avif", withSizesAt("alpha-10bit.avif", "ispe", 4, big32(70000, 10)), "libheif cannot read it"},
        {"ispe-zero.avif", withSizesAt("plain.avif", "ispe", 4, big32(0, 0)), "no pixels"},
    };
    for (Hostile header : headers) {
        header.byReference = true;
        files.push_back(header);
    }
    // The start-of-frame marker (baseline or progressive), its length and precision, then the height and width.
    const std::tuple<const char *, char, quint16, quint16> jpegBombs[] = {
        {"baseline.jpg", '\xC0', 15000, 13000}, {"progressive.jpg", '\xC2', 65500, 3000}, {"cmyk.jpg", '\xC0', 14000, 14000},
        {"grey.jpg", '\xC0', 65535, 3000},      {"baseline.jpg", '\xC0', 0, 0}};
    for (const auto &[name, frame, w, h] : jpegBombs)
        files.push_back({QStringLiteral("bomb-%1x%2-%3").arg(w).arg(h).arg(QLatin1String(name)),
                         withSizesAt(name, QByteArray("\xFF") + frame, 3, number(h, 2) + number(w, 2)), "", true});
    // A 65535 x 65535 GIF screen; and 8480 x 11297, within the limits, around a frame whose data ends: refused
    // before the screen's 380 MB are touched.
    files.push_back({"huge.gif", seed("plain.gif").replace(6, 4, QByteArray(4, '\xFF'))});
    const QByteArray cut = seed("interlaced.gif").replace(6, 4, QByteArray("\x20\x21\x21\x2C", 4));
    files.push_back({"large-screen-cut.gif", cut.left(cut.size() * 2 / 3), "the file ends before the picture does"});
    // TIFF strips: a billion with tables past the end; a row each, tables past the end; tables pointing into the
    // directory; one of gigabytes; a huge page of a few bytes; over the limits; tiles far larger than the page.
    files.push_back({"billion-strips.tif", greyTiff(16, 12, 1, 1'000'000'000, 0x10000000, 0x20000000)});
    files.push_back({"row-strips.tif", greyTiff(60000, 3000, 1, 3000, 0x7FFFFFF0, 0x7FFFFFF0)});
    files.push_back({"wrong-count.tif", greyTiff(16, 12, 1, 0xFFFFFFFF, 8, 8)});
    files.push_back({"giant-strip.tif", greyTiff(16, 12, 12, 1, 200, 0xFFFFFFF0)});
    files.push_back({"huge-page.tif", greyTiff(14000, 14000, 14000, 1, 200, 64)});
    files.push_back({"over-limit.tif", greyTiff(100000, 100000, 1, 1, 200, 64)});
    files.push_back({"giant-tiles.tif", tiffWith({{256, 4, 1, 16}, {257, 4, 1, 12}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                                                  {277, 3, 1, 1}, {322, 4, 1, 0x40000000}, {323, 4, 1, 0x40000000}, {324, 4, 1, 200}, {325, 4, 1, 64}})});
    files.push_back({"million.pdf", pdfWith("0 0 1000000 1000000")}); // refused when it is opened
    for (const QByteArray box : {"0 0 0 0", "(atend)", "0 0 1e9 1e9", "x y z w"})
        files.push_back({"box-" + QString::number(files.size()) + ".eps", eps(box, "showpage")});

    for (const Hostile &file : files) {
        const QString path = write(file.name, file.bytes);
        expectRefused(runReader("read", path), path, file.reason);
        if (file.byReference)
            expectNothingShown(runReader("reference", path), path);
    }
}

// libtiff stops at a directory it has seen: one page, read as it is. A PDF page tree that points at itself shows nothing.
TEST_F(BadInputTest, LoopsInTiffDirectoriesAndPdfPageTrees)
{
    QByteArray loop = seed("strips.tif");
    // The first directory's "next" offset is the last 4 bytes of that directory.
    const quint32 first = quint8(loop[4]) | quint8(loop[5]) << 8 | quint8(loop[6]) << 16 | quint32(quint8(loop[7])) << 24;
    const quint16 entries = quint16(quint8(loop[first]) | quint8(loop[first + 1]) << 8);
    const Outcome o = runReader("read", write("loop.tif", loop.replace(first + 2 + entries * 12, 4, little(first, 4))));
    expectBounded(o);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("bitmap 16 12 pixels")}) << o;
    const QString cyclic = write("cyclic.pdf", pdfWith("0 0 10 10").replace("/Kids [3 0 R]", "/Kids [2 0 R]"));
    expectNothingShown(runReader("read", cyclic), cyclic);
}

TEST_F(BadInputTest, PdfPagesTooLargeOrOdd)
{
    // 70000 points a side opens, but cannot be drawn at its size in points.
    const Outcome o = runReader("read", write("large.pdf", pdfWith("0 0 70000 70000")));
    expectBounded(o);
    EXPECT_EQ(o.lines(), QStringList{QStringLiteral("vector 70000 70000 not-drawn")}) << o;
    EXPECT_TRUE(o.err.contains("Unable to draw a PDF page at 70000 x 70000 pixels")) << o;
    for (const QByteArray box : {"0 0 0 0", "0 0 -5 10", "0 0 1e300 1e300", "a b c d"}) {
        const Outcome b = runReader("read", write("box.pdf", pdfWith(box)));
        expectBounded(b);
        for (const QString &line : b.lines())
            EXPECT_TRUE(line == "none" || line.contains(" drawn ")) << box.constData() << "\n" << b;
    }
}

TEST_F(BadInputTest, PostScriptStaysInItsBoxAndItsTime)
{
    const QString secret = write("secret.txt", "TOPSECRET\n"), written = folder.filePath("written.txt"), piped = folder.filePath("piped.txt");
    // Black over the whole page when the secret could be read.
    const QByteArray readSecret = "(" + QFile::encodeName(secret) + ") (r) file 100 string readstring pop (TOPSECRET) search "
                                  "{ pop pop pop 0 0 0 setrgbcolor 0 0 32 32 rectfill } { pop } ifelse";
    const QByteArray writeFile = "(" + QFile::encodeName(written) + ") (w) file dup (written) writestring closefile";
    const QByteArray runCommand = "(%pipe%touch " + QFile::encodeName(piped) + ") (w) file closefile";
    const QByteArray redCorner = "1 0 0 setrgbcolor 0 0 8 8 rectfill";
    // Unguarded, a refused operation stops the program: the small drawing fails, and so the picture.
    const std::tuple<QByteArray, QByteArray, const char *, int> unguarded[] = {
        {"0 0 32 32", redCorner + "\n" + readSecret, "Unable to draw PostScript", 30},
        {"0 0 32 32", "{ } loop", "Ghostscript took longer than", 45},
        {"0 0 999999 999999", redCorner, "Unable to draw PostScript", 15},
    };
    for (const auto &[box, body, said, seconds] : unguarded) {
        const Outcome o = runReader("read", write("reach.eps", eps(box, body)), seconds);
        expectBounded(o);
        EXPECT_TRUE(o.lines() == QStringList{QStringLiteral("none")} && o.err.contains(said)) << body.constData() << "\n" << o;
    }
    // Guarded by `stopped`, the drawing goes on without what was refused.
    const QByteArray guarded = "{ " + readSecret + " } stopped pop\n{ " + writeFile + " } stopped pop\n{ " + runCommand + " } stopped pop\n";
    const Outcome o = runReader("read", write("guarded.eps", eps("0 0 32 32", guarded + redCorner)), 30);
    expectBounded(o);
    const QStringList fields = o.lines().value(0).split(' ');
    ASSERT_TRUE(o.lines().size() == 1 && fields.size() == 6 && fields[3] == "drawn") << o;
    EXPECT_EQ(fields[4], "0") << "the secret reached the drawing\n" << o;
    EXPECT_GT(fields[5].toInt(), 32) << "the red corner is missing, so this proves nothing\n" << o;
    EXPECT_FALSE(QFile::exists(written) || QFile::exists(piped));
}

// Folders, links in a loop or to nowhere, a pipe (opening it would wait for a writer forever), a device; and a file
// the reader may not open: root reads any file, so as root the reader (a copy anyone may run) runs as "nobody".
TEST_F(BadInputTest, FilesThatAreNotFilesOrCannotBeOpened)
{
    ASSERT_TRUE(QDir().mkpath(folder.filePath("holiday.jpg")) && QFile::link(folder.filePath("self.tif"), folder.filePath("self.tif"))
                && QFile::link(folder.filePath("nowhere.gif"), folder.filePath("gone.gif")));
    ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath("stream.png")).constData(), 0600), 0);
    const std::pair<QString, const char *> cases[] = {
        {folder.filePath("holiday.jpg"), "it is a folder"}, {folder.filePath("self.tif"), ""}, {folder.filePath("gone.gif"), ""},
        {folder.filePath("stream.png"), "it is not a regular file"}, {"/dev/zero", ""},
    };
    for (const auto &[path, reason] : cases)
        expectRefused(runReader("read", path), path, reason);

    ASSERT_TRUE(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                         | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString reader = folder.filePath("reader"), path = write("private.png", seed("rgb.png"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QP_READ_PICTURE), reader));
    ASSERT_TRUE(QFile::setPermissions(reader, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther));
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0), 0);
    expectRefused(runReader("read", path, 15, geteuid() == 0 ? 65534 : -1, reader), path, "it cannot be opened");
}

} // namespace
