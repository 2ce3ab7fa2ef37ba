// The log line each kind of non-picture earns, read now and by reference. Hostile files
// (bombs, truncations, impostors, sizes over the limits) are the bad-input suite's, which
// reads each in a bounded child process.

#include "Log.h"
#include "Picture.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(BadInput, FilesThatAreNoPicturesAreRefusedWithOneLineNamingThem)
{
    QTemporaryDir dir;
    const std::tuple<const char *, QByteArray, const char *> cases[] = {
        {"notes.jpg", "These are my notes, not a photo.\n", "not a picture of a type this program reads"},
        {"missing.png", {}, "there is no such file"},
        {"nobox.eps", "%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n", "bounding box"},
        {"broken.pdf", "%PDF-1.4\nthis is not really a PDF\n", "PDF"},
    };
    for (const auto &[name, bytes, reason] : cases) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        if (QFile file(path); !bytes.isEmpty()) { // nothing at all for the missing file
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        for (bool now : {true, false}) {
            LogCapture log;
            EXPECT_FALSE(now ? Picture::readFile(path) : Picture::referenceFile(path)) << name;
            ASSERT_EQ(log.messages().size(), 1) << name << ": " << qPrintable(log.messages().join('\n'));
            EXPECT_TRUE(log.messages()[0].startsWith(QStringLiteral("Unable to read picture %1: ").arg(path))) << name;
            EXPECT_TRUE(log.messages()[0].contains(QLatin1String(reason))) << qPrintable(log.messages()[0]);
        }
    }
}
