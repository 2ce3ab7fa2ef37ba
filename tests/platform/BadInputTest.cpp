#include "EncodedImageReps.h"
#include "Log.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::shared_ptr<PixelBuffer> sample()
{
    return TestPictures::make(40, 24, 3, 8, [](int x, int y, uint16_t *o) {
        o[0] = uint16_t(x * 6);
        o[1] = uint16_t(y * 10);
        o[2] = uint16_t((x * y) % 256);
    });
}

QByteArray jpegBytes() { return TestPictures::jpeg(*sample()); }
QByteArray pngBytes() { return TestPictures::png(*sample()); }
QByteArray tiffBytes()
{
    TestPictures::TiffPageSpec page;
    page.pixels = sample();
    return TestPictures::tiff({page});
}
QByteArray gifBytes()
{
    std::vector<uint8_t> indices(40 * 24);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = uint8_t(i % 3);
    return TestPictures::gif(40, 24, indices, {255, 0, 0, 0, 255, 0, 0, 0, 255});
}

quint32 crc32(const char *data, qsizetype length)
{
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= uchar(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(QByteArray &bytes, qsizetype at, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * (size - 1 - i))) & 0xFF);
}

QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = jpegBytes();
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    putBigEndian(bytes, sof + 5, quint32(height), 2);
    putBigEndian(bytes, sof + 7, quint32(width), 2);
    return bytes;
}

QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = pngBytes();
    putBigEndian(bytes, 16, width, 4);
    putBigEndian(bytes, 20, height, 4);
    putBigEndian(bytes, 29, crc32(bytes.constData() + 12, 17), 4);
    return bytes;
}

QByteArray gifClaiming(int width, int height)
{
    QByteArray bytes = gifBytes();
    bytes[6] = char(width & 0xFF);
    bytes[7] = char(width >> 8);
    bytes[8] = char(height & 0xFF);
    bytes[9] = char(height >> 8);
    return bytes;
}

// Rewrites the first page's width and height entries (little-endian TIFF) as LONGs.
QByteArray tiffClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = tiffBytes();
    auto le = [&](qsizetype at, int size) {
        quint32 v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = v << 8 | uchar(bytes[at + i]);
        return v;
    };
    auto put = [&](qsizetype at, quint32 v, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    const qsizetype ifd = le(4, 4);
    const int entries = int(le(ifd, 2));
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        const quint32 tag = le(entry, 2);
        if (tag == 256 || tag == 257) {
            put(entry + 2, 4, 2); // LONG
            put(entry + 8, tag == 256 ? width : height, 4);
        }
    }
    return bytes;
}

class BadInput : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Refused both ways with exactly one log line naming the file.
    void expectRefused(const QString &path, const QString &reason)
    {
        for (bool now : {true, false}) {
            LogCapture log;
            auto picture = now ? Picture::readFile(path) : Picture::referenceFile(path);
            EXPECT_FALSE(picture) << qPrintable(path) << (now ? " read now" : " by reference");
            ASSERT_EQ(log.messages().size(), 1) << qPrintable(log.messages().join('\n'));
            EXPECT_TRUE(log.messages()[0].startsWith(QStringLiteral("Unable to read picture %1: ").arg(path)));
            EXPECT_TRUE(log.messages()[0].contains(reason)) << qPrintable(log.messages()[0]);
        }
    }

    // Refused as data, with one log line (the reason text depends on the library).
    void expectDataRefused(const QByteArray &bytes, const char *what, const QString &reason = QString())
    {
        LogCapture log;
        EXPECT_FALSE(Picture::fromData(bytes)) << what;
        ASSERT_EQ(log.messages().size(), 1) << what << ": " << qPrintable(log.messages().join('\n'));
        EXPECT_TRUE(log.messages()[0].contains(reason)) << what << ": " << qPrintable(log.messages()[0]);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(BadInput, FilesThatAreNoPictures)
{
    expectRefused(write(QStringLiteral("empty.jpg"), {}), QStringLiteral("the file is empty"));
    expectRefused(write(QStringLiteral("notes.jpg"), "These are my notes, not a photo.\n"),
                  QStringLiteral("not a picture of a type this program reads"));
    expectRefused(dir.path(), QStringLiteral("it is a folder"));
    expectRefused(dir.filePath(QStringLiteral("missing.png")), QStringLiteral("there is no such file"));
    expectRefused(write(QStringLiteral("nobox.eps"), "%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n"), QStringLiteral("bounding box"));
    expectRefused(write(QStringLiteral("broken.pdf"), "%PDF-1.4\nthis is not really a PDF\n"), QStringLiteral("PDF"));
    if (QFile::exists(QStringLiteral("/dev/zero")))
        expectRefused(QStringLiteral("/dev/zero"), QStringLiteral("not a regular file"));
}

TEST_F(BadInput, FileWithoutReadPermission)
{
    const QString path = write(QStringLiteral("secret.png"), pngBytes());
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    if (geteuid() != 0) {
        expectRefused(path, QStringLiteral("it cannot be opened"));
        return;
    }
    // Permissions do not bind root: try as "nobody" in a child process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        LogCapture log;
        const bool refused = !Picture::readFile(path) && log.messages().size() == 1
            && log.messages()[0].contains(QStringLiteral("it cannot be opened"));
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(BadInput, TruncatedAndCorruptPictures)
{
    const std::pair<const char *, QByteArray> valid[] = {
        {"jpeg", jpegBytes()}, {"png", pngBytes()}, {"gif", gifBytes()}, {"tiff", tiffBytes()}};
    for (const auto &[name, bytes] : valid) {
        ASSERT_TRUE(Picture::fromData(bytes)) << name;
        expectDataRefused(bytes.left(bytes.size() * 6 / 10), name);
    }
    // Read now, a cut file is refused at once. By reference its header passes, and decoding
    // fails later with a log line.
    const QString path = write(QStringLiteral("cut.jpg"), jpegBytes().left(jpegBytes().size() - 200));
    LogCapture log;
    EXPECT_FALSE(Picture::readFile(path));
    auto referenced = Picture::referenceFile(path);
    ASSERT_TRUE(referenced);
    EXPECT_FALSE(referenced->representations()[0]->pixels());
    ASSERT_EQ(log.messages().size(), 2);
    for (const QString &line : log.messages())
        EXPECT_EQ(line, QStringLiteral("Unable to read picture %1: the file ends before the picture does").arg(path));
    QByteArray corrupt = jpegBytes();
    for (qsizetype i = 4; i < 200; ++i)
        corrupt[i] = char(i * 37);
    expectDataRefused(corrupt, "corrupt jpeg");
}

TEST_F(BadInput, PicturesBeyondTheLimitsAreRefusedBeforeDecoding)
{
    const QString side = QStringLiteral("larger than the limit of 65535 pixels a side");
    const QString pixels = QStringLiteral("more than the limit of 200 megapixels");
    QElapsedTimer timer;
    timer.start();
    expectDataRefused(jpegClaiming(65500, 65500), "jpeg bomb", pixels);
    expectDataRefused(jpegClaiming(20000, 15000), "jpeg 300 MP", pixels);
    expectDataRefused(pngClaiming(100000, 10), "wide png", side);
    expectDataRefused(pngClaiming(20000, 20000), "png bomb", pixels);
    expectDataRefused(gifClaiming(65535, 65535), "gif screen", pixels);
    expectDataRefused(tiffClaiming(70000, 1), "wide tiff", side);
    expectDataRefused(tiffClaiming(60000, 60000), "tiff bomb", pixels);
    // Nothing was decoded: all of this is header work.
    EXPECT_LT(timer.elapsed(), 2000);

    // A 100-megapixel photo's header passes.
    std::vector<BitmapPageInfo> pages;
    QString error;
    EXPECT_TRUE(probeBitmap(jpegClaiming(11648, 8736), PictureFormat::JPEG, pages, error)) << qPrintable(error);
}

TEST_F(BadInput, EndlessProgressiveScansAreCutShort)
{
    // Every scan costs a pass over the whole picture; a file can repeat one thousands of times.
    TestPictures::JpegOptions options;
    options.progressive = true;
    const QByteArray valid = TestPictures::jpeg(*sample(), options);
    const qsizetype lastScan = valid.lastIndexOf("\xFF\xDA");
    const qsizetype end = valid.lastIndexOf("\xFF\xD9");
    ASSERT_GT(lastScan, 0);
    ASSERT_GT(end, lastScan);
    const QByteArray scan = valid.mid(lastScan, end - lastScan);
    QByteArray endless = valid.left(end);
    for (int i = 0; i < 400; ++i)
        endless += scan;
    endless += "\xFF\xD9";
    expectDataRefused(endless, "400 repeated scans", QStringLiteral("more than 300 progressive scans"));
    // A handful of repeats is merely odd and still decodes.
    QByteArray odd = valid.left(end) + scan + scan + QByteArray("\xFF\xD9");
    EXPECT_TRUE(Picture::fromData(odd));
}

TEST_F(BadInput, RandomDamageNeverCrashes)
{
    const QByteArray valid[] = {jpegBytes(), pngBytes(), gifBytes(), tiffBytes(), TestPictures::pdf(50, 50)};
    uint32_t state = 2024;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    LogCapture quiet;
    int decoded = 0;
    for (const QByteArray &bytes : valid) {
        for (int round = 0; round < 120; ++round) {
            QByteArray damaged = bytes;
            const int flips = 1 + int(next() % 8);
            for (int f = 0; f < flips; ++f)
                damaged[qsizetype(next() % uint32_t(damaged.size()))] = char(next() >> 24);
            if (round % 4 == 0)
                damaged.truncate(qsizetype(next() % uint32_t(damaged.size())) + 1);
            if (auto picture = Picture::fromData(damaged)) {
                for (const auto &rep : picture->representations())
                    if (rep->hasPixels())
                        decoded += rep->pixels() != nullptr;
                    else
                        rep->render(20, 20);
            }
        }
    }
    // Some damage is harmless (a changed colour); the point is that nothing crashed.
    EXPECT_GT(decoded, 0);
}

TEST_F(BadInput, PostScriptRunsSafelyAndWithinItsTime)
{
    EpsImageRep::setTimeLimit(2);
    const QString marker = dir.filePath(QStringLiteral("written-by-postscript"));
    // Files in the shared temporary folder are off limits too.
    const QString secret = write(QStringLiteral("secret.txt"), "not for PostScript");
    const QByteArray header = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 20 20\n";
    const QByteArray programs[] = {
        header + "{ } loop\n",
        header + "(" + marker.toLatin1() + ") (w) file (x) writestring\n0 0 20 20 rectfill showpage\n",
        header + "(/etc/hostname) (r) file 100 string readstring pop pop\n0 0 20 20 rectfill showpage\n",
        header + "(" + secret.toLatin1() + ") (r) file 100 string readstring pop pop\n0 0 20 20 rectfill showpage\n",
    };
    int index = 0;
    for (const QByteArray &program : programs) {
        // By reference, so that the drawing below is the first time Ghostscript runs it.
        auto picture = Picture::referenceFile(write(QStringLiteral("hostile%1.eps").arg(index++), program));
        ASSERT_TRUE(picture);
        LogCapture log;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(picture->representations()[0]->render(20, 20)) << program.constData();
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(log.messages().size(), 1);
    }
    EXPECT_FALSE(QFile::exists(marker));
    EpsImageRep::setTimeLimit(20);

    // Read now, a PostScript error is found at once; by reference, when it is drawn.
    const QString broken = write(QStringLiteral("broken.eps"), header + "0 0 20 20 rectfill nosuchoperator showpage\n");
    LogCapture log;
    EXPECT_FALSE(Picture::readFile(broken));
    EXPECT_EQ(log.messages().size(), 1);
    auto referenced = Picture::referenceFile(broken);
    ASSERT_TRUE(referenced);
    EXPECT_FALSE(referenced->representations()[0]->render(20, 20));
    EXPECT_EQ(log.messages().size(), 2);
}
