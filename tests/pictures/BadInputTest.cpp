// The log line each kind of non-picture earns, read now and by reference. Hostile files
// (bombs, truncations, PostScript that reaches out, permissions) are the bad-input suite's,
// which reads each in a bounded child process.

#include "Log.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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

    QTemporaryDir dir;
};

} // namespace

TEST_F(BadInput, FilesThatAreNoPictures)
{
    expectRefused(write(QStringLiteral("empty.jpg"), {}), QStringLiteral("the file is empty"));
    expectRefused(write(QStringLiteral("notes.jpg"), "These are my notes, not a photo.\n"),
                  QStringLiteral("not a picture of a type this program reads"));
    expectRefused(dir.filePath(QStringLiteral("missing.png")), QStringLiteral("there is no such file"));
    expectRefused(write(QStringLiteral("nobox.eps"), "%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n"), QStringLiteral("bounding box"));
    expectRefused(write(QStringLiteral("broken.pdf"), "%PDF-1.4\nthis is not really a PDF\n"), QStringLiteral("PDF"));
}

// Twice the pixel limit, within the limit a side: refused from the header, before any decoding.
TEST_F(BadInput, PicturesOverThePixelLimitAreRefusedFromTheirHeader)
{
    QByteArray jpeg = TestPictures::bytes("jpeg.jpg");
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    for (const int at : {5, 7}) { // height, width: 20000 each
        jpeg[frame + at] = char(0x4E);
        jpeg[frame + at + 1] = char(0x20);
    }
    LogCapture log;
    EXPECT_FALSE(Picture::referenceFile(write(QStringLiteral("huge.jpg"), jpeg)));
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages()[0].endsWith(QStringLiteral(": 20000 x 20000 pixels is more than the limit of 200 megapixels")));
}
